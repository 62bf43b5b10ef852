// The whole program from its menu: the keys, every screen, the credits and the ways it ends.
#include "carte_son.h"
#include "main.h"
#include "scenario.h"

#include "ecran.h"
#include "fichier_scores.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

namespace {

using scenario::journal;
using namespace std::string_literals;

using Programme = scenario::Dossier;

// Nothing is drawn before the first event, then one frame per event, the welcome text centred
// across and raised 265 pixels. Each screen's key stops the menu's song and plays it again on
// the way back; Escape or a close request leaves the screen at once, without its song it does
// not open, and either way the menu gets its 800x600 window back. The high scores show five
// lines at x = 200 and y = 75, 135... anti-aliased in bold italics. Escape, 4, keypad 4 and the
// close button lead to the credits, drawn on arrival and when uncovered only, which play their
// song once and stay 10.1 seconds, or end within 20 ms on Escape or a close request; the
// program then ends with status 0.
TEST_F(Programme, EveryScreenAndEveryWayOutEndWell) {
    // A screen's key (q opens none), how the screen is left (0: without its song, it does not
    // open), the key that leaves the menu (0: a close request), what ends the credits early,
    // if anything, and when the program starts: the last case runs across the clock's wrap.
    // clang-format off
    const std::tuple<SDLKey, Uint8, int, Uint8, uint32_t> cas[] = {
        {SDLK_1, SDL_KEYDOWN, SDLK_ESCAPE, 0, 0},     {SDLK_KP1, SDL_QUIT, SDLK_4, 0, 0},
        {SDLK_1, 0, SDLK_KP4, 0, 0},                  {SDLK_2, SDL_KEYDOWN, 0, 0, 0},
        {SDLK_KP2, SDL_QUIT, SDLK_4, SDL_KEYDOWN, 0}, {SDLK_2, 0, SDLK_4, SDL_QUIT, 0},
        {SDLK_3, SDL_KEYDOWN, SDLK_4, 0, 0},          {SDLK_KP3, SDL_QUIT, SDLK_4, 0, 0},
        {SDLK_3, 0, SDLK_4, 0, 0},                    {SDLK_q, 0, SDLK_4, 0, 0u - 8000}};
    const std::map<SDLKey, std::string> musiques = {{SDLK_1, "MUSIC/jeu01.mid"},
        {SDLK_2, "MUSIC/highscores.mid"}, {SDLK_3, "MUSIC/instructions.mid"}};
    const std::map<std::string, std::pair<int, int>> tailles = {
        {"Pressathon - HOME", {800, 600}},         {"Pressathon - JOUE", {800, 600}},
        {"Pressathon - INSTRUCTIONS", {800, 600}}, {"Pressathon - HIGHSCORES", {600, 450}},
        {"Pressathon - CREDITS", {300, 500}}};
    const std::map<SDLKey, std::string> titres = {{SDLK_1, "JOUE"}, {SDLK_KP1, "JOUE"},
        {SDLK_2, "HIGHSCORES"}, {SDLK_KP2, "HIGHSCORES"}, {SDLK_3, "INSTRUCTIONS"},
        {SDLK_KP3, "INSTRUCTIONS"}};
    // clang-format on
    scenario::ecrire(FICHIER_HIGHSCORES, "57 99999999999 -2147483648 12 3");
    // Every other case without a sound card: the songs load all the same, or the menu would
    // end the program at once.
    bool avecCarte = false;
    char* arguments[] = {const_cast<char*>("pressathon"), nullptr};
    const std::string lignes[] = {" 1er : 57", "2\xE8me : 2147483647", "3\xE8me : -2147483648",
                                  "4\xE8me : 12", "5\xE8me : 3"};
    std::set<long> descripteurs;
    for (const auto& [ecran, quitte, entree, interruption, debut] : cas) {
        SCOPED_TRACE(testing::Message()
                     << ecran << ", " << int(quitte) << ", " << entree << ", " << int(interruption)
                     << ", " << debut << ", card " << avecCarte);
        carte::brancher(avecCarte = !avecCarte);
        const bool sansMusique = quitte == 0 && ecran != SDLK_q;
        if (sansMusique) {
            std::filesystem::rename(musiques.at(ecran), "de-cote.mid");
        }
        scenario::reinitialiser(debut + 1000);
        scenario::evenement(debut + 1100, SDL_MOUSEMOTION);
        scenario::evenement(debut + 1200, SDL_KEYDOWN, ecran);
        scenario::evenement(debut + 1300, quitte != 0 ? quitte : Uint8(SDL_KEYDOWN),
                            quitte != 0 ? SDLK_ESCAPE : SDLK_a);
        scenario::evenement(debut + 2000, entree != 0 ? SDL_KEYDOWN : SDL_QUIT, entree);
        scenario::evenement(debut + 3000, SDL_VIDEOEXPOSE);
        uint32_t fin = debut + 2000 + 10100;
        std::vector<uint32_t> credits;
        journal.surFlip = [&] {
            if (journal.images.back().titre != "Pressathon - CREDITS") {
                return;
            }
            credits.push_back(journal.horloge);
            // Just after the frame the uncovering asks for, a moment after the next look at
            // the events: the longest wait for an answer.
            if (interruption != 0 && credits.size() == 2) {
                fin = journal.horloge + journal.dureeImage + 1;
                scenario::evenement(fin, interruption, SDLK_ESCAPE);
            }
        };
        ASSERT_EQ(SDL_main(1, arguments), 0);
        // The descriptors open after each run: one the game forgets shows as a growing count.
        descripteurs.insert(
            std::ranges::distance(std::filesystem::directory_iterator("/proc/self/fd")));
        if (sansMusique) {
            std::filesystem::rename("de-cote.mid", musiques.at(ecran));
        }

        // Each frame has its screen's size and caption; the menu's last is drawn in the
        // credits' window.
        const auto& images = journal.images;
        std::set<std::string> attendus = {"Pressathon - HOME", "Pressathon - CREDITS"}, vus;
        if (quitte != 0 && titres.contains(ecran)) {
            attendus.insert("Pressathon - " + titres.at(ecran));
        }
        for (const scenario::Image& image : images) {
            vus.insert(image.titre);
        }
        EXPECT_EQ(vus, attendus);
        for (size_t i = 0; i + 1 < images.size(); ++i) {
            EXPECT_EQ(tailles.at(images[i].titre), std::pair(images[i].largeur, images[i].hauteur))
                << images[i].titre;
        }
        const scenario::Dessin& b = images.at(0).textes.at(0);
        EXPECT_EQ(std::tuple(images[0].instant, b.texte, b.centreX, b.centreY, b.ombre, b.style),
                  std::tuple(debut + 1100, "Bienvenue !"s, 400, 35, false, TTF_STYLE_ITALIC));
        for (const scenario::Image& image : images) {
            for (int i = 0; image.titre == "Pressathon - HIGHSCORES" && i < 5; ++i) {
                const scenario::Dessin& d = image.textes.at(i);
                EXPECT_EQ(std::tuple(d.texte, d.x, d.y, d.ombre, d.style),
                          std::tuple(lignes[i], 200, 75 + 60 * i, false,
                                     TTF_STYLE_BOLD | TTF_STYLE_ITALIC));
            }
        }
        ASSERT_EQ(credits.size(), 2u);
        EXPECT_EQ(credits[0], debut + 2000);
        EXPECT_LE(credits[1] - (debut + 3000), 20u);
        // The menu draws once more as the program ends.
        ASSERT_EQ(images.back().titre, "Pressathon - HOME");
        EXPECT_LE(images.back().instant - fin, 20u);
        EXPECT_EQ(journal.sons["MUSIC/menu.mid"],
                  std::string("PlaySong SetLooping(1) ") +
                      (ecran != SDLK_q ? "StopSong PlaySong " : "") + "StopSong FreeSong");
        EXPECT_EQ(journal.sons["MUSIC/credits.mid"], "PlaySong SetLooping(0) FreeSong");
    }
    EXPECT_EQ(descripteurs.size(), 1u) << "descriptors left open";
    carte::brancher(true);
}

} // namespace
