// The game, the high scores and the instructions, driven by scripted events on a virtual clock.
#include "scenario.h"

#include "ecran.h"
#include "highscores.h"
#include "instructions.h"
#include "jeu.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>

namespace {

constexpr uint32_t DEBUT = 5000;
const std::string LIGNE_CLICS = "Vous avez cliqu\xE9(e) [ ";

void clic(uint32_t instant, int bouton = SDL_BUTTON_LEFT) {
    scenario::evenement(instant, SDL_MOUSEBUTTONDOWN, bouton);
    scenario::evenement(instant + 5, SDL_MOUSEBUTTONUP, bouton);
}

class Jeu : public scenario::Ecran {
  protected:
    void jouerJusqua(uint32_t sortie) {
        scenario::evenement(sortie, SDL_KEYDOWN, SDLK_ESCAPE);
        jouer(ecran, nullptr);
    }

    // The count's lines drawn, or the countdown's, with the instant of their
    // frame.
    static std::vector<std::pair<uint32_t, std::string>> lignes(bool compte) {
        std::vector<std::pair<uint32_t, std::string>> trouvees;
        for (const scenario::Dessin& d : scenario::journal().dessins) {
            if ((d.texte.texte.rfind(LIGNE_CLICS, 0) == 0) == compte) {
                trouvees.emplace_back(scenario::journal().images.at(d.image).instant,
                                      d.texte.texte);
            }
        }
        return trouvees;
    }

    // When the sample loaded `rang`-th (0 the click, 1 the end sound) was played.
    static std::vector<uint32_t> sons(size_t rang) {
        std::vector<uint32_t> instants;
        for (const auto& appel : scenario::journal().appels) {
            if (appel.operation == "FSOUND_PlaySound" &&
                appel.poignee == scenario::poignee("FSOUND_Sample_Load", rang)) {
                instants.push_back(appel.instant);
            }
        }
        return instants;
    }
};

using Pages = scenario::Ecran;

// From its first step to 0 the countdown takes its ten seconds of real time,
// however long frames take to show; a stall costs one step, and the clock
// wrapping changes nothing.
TEST_F(Jeu, TheCountdownLastsTenTrueSeconds) {
    // The start, how long frames take, how long the 40th takes, the duration.
    const std::array<uint32_t, 4> cas[] = {
        {DEBUT, 17, 17, 9900},     {DEBUT, 4, 4, 9900},
        {DEBUT, 16, 500, 10300},   {(1u << 31) - 3000, 16, 16, 9900},
        {0u - 3000, 16, 16, 9900}, {60, 16, 16, 9900}};
    for (const auto& [debut, dureeImage, calage, dureeAttendue] : cas) {
        SCOPED_TRACE(testing::Message() << debut << ", " << dureeImage << ", " << calage);
        scenario::reinitialiser(debut);
        scenario::journal().surFlip = [&](SDL_Surface*) {
            scenario::journal().dureeImage =
                scenario::journal().images.size() == 40 ? calage : dureeImage;
        };
        clic(debut + 3000);
        jouerJusqua(debut + 15000);

        auto temps = lignes(false);
        temps.erase(std::unique(temps.begin(), temps.end(),
                                [](const auto& a, const auto& b) { return a.second == b.second; }),
                    temps.end());
        ASSERT_EQ(temps.size(), 101u);
        for (size_t i = 0; i < 100; ++i) {
            EXPECT_EQ(temps[i].second,
                      "Plus que : " + std::to_string(9900 - 100 * i) + " millisecondes");
        }
        EXPECT_EQ(temps[100].second, "C'est finiii !");
        // The first step comes at once: no frame ever shows the full time.
        EXPECT_EQ(temps[0].first, debut);
        const uint32_t duree = temps[99].first - temps[0].first;
        EXPECT_GE(duree, dureeAttendue);
        EXPECT_LE(duree, dureeAttendue + 100);
    }
}

// Only the release of a button pressed during the game counts, once per
// press, and its sound starts within a few milliseconds of the release; the
// wheel's notches are not clicks.
TEST_F(Jeu, ClicksCountAndSoundOnTheReleaseOfRealButtons) {
    constexpr Uint8 APPUI = SDL_MOUSEBUTTONDOWN, RELACHE = SDL_MOUSEBUTTONUP;
    struct Geste {
        uint32_t instant;
        Uint8 type;
        int bouton;
    };
    struct Cas {
        const char* nom;
        std::vector<Geste> gestes;
        int clics;
    };
    std::vector<Cas> cas = {
        {"release without a press, after a notch",
         {{400, APPUI, SDL_BUTTON_WHEELUP}, {401, RELACHE, SDL_BUTTON_WHEELUP}, {500, RELACHE, 1}},
         0},
        {"press before the end, release after", {{9850, APPUI, 1}, {10200, RELACHE, 1}}, 0},
        {"two buttons down then up",
         {{500, APPUI, 1}, {510, APPUI, 3}, {520, RELACHE, 1}, {530, RELACHE, 3}},
         1},
        {"a button held for three seconds", {{1000, APPUI, 1}, {4000, RELACHE, 1}}, 1},
        {"every real button, among wheel notches", {}, 5},
        {"a click every 137 ms", {}, 60},
    };
    // Each real button held while the wheel turns a notch each way.
    for (uint32_t i = 0; i < 5; ++i) {
        const uint32_t t = 500 + 100 * i;
        const int bouton = std::array{1, 2, 3, 6, 7}[i];
        cas[4].gestes.push_back({t, APPUI, bouton});
        for (const int molette : {SDL_BUTTON_WHEELUP, SDL_BUTTON_WHEELDOWN}) {
            cas[4].gestes.push_back({t + 2 * molette, APPUI, molette});
            cas[4].gestes.push_back({t + 2 * molette + 1, RELACHE, molette});
        }
        cas[4].gestes.push_back({t + 20, RELACHE, bouton});
    }
    for (uint32_t i = 0; i < 60; ++i) {
        cas[5].gestes.push_back({200 + 137 * i, APPUI, 1});
        cas[5].gestes.push_back({205 + 137 * i, RELACHE, 1});
    }
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        scenario::reinitialiser(DEBUT);
        scenario::journal().dureeImage = 2;
        dossier.ecrire("highscores.tallyvault", "0 0 0 0 0");
        for (const Geste& g : c.gestes) {
            scenario::evenement(DEBUT + g.instant, g.type, g.bouton);
        }
        jouerJusqua(DEBUT + 12000);
        EXPECT_EQ(lignes(true).back().second, LIGNE_CLICS + std::to_string(c.clics) + " ] fois !");
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), std::to_string(c.clics) + " 0 0 0 0");
        ASSERT_EQ(sons(0).size(), static_cast<size_t>(c.clics));
        for (const uint32_t son : sons(0)) {
            EXPECT_TRUE(std::any_of(c.gestes.begin(), c.gestes.end(),
                                    [son](const Geste& g) {
                                        return g.type == RELACHE && son - DEBUT - g.instant <= 4 &&
                                               g.bouton != SDL_BUTTON_WHEELUP &&
                                               g.bouton != SDL_BUTTON_WHEELDOWN;
                                    }))
                << "a click heard at " << son - DEBUT;
        }
    }
}

// Once the time is up the screen shows one frame, and one more when the window
// is uncovered, while every pass submits the count again; the end sound plays
// once, on the second pass, and Escape is answered within 20 ms.
TEST_F(Jeu, TheFinishedGameSubmitsItsScoreOnEveryPass) {
    scenario::reinitialiser(DEBUT);
    scenario::journal().dureeImage = 1;
    dossier.ecrire("highscores.tallyvault", "50 40 30 20 10");
    for (uint32_t i = 0; i < 35; ++i) {
        clic(DEBUT + 100 + 50 * i);
    }
    scenario::evenement(DEBUT + 11000, SDL_VIDEOEXPOSE);
    std::vector<uint32_t> finies;
    std::string fichierApres;
    uint32_t sortie = 0;
    // SDL holds no more than 128 pending events: pointer motion, which could
    // push clicks out, is dropped while the game runs and given back after.
    bool mouvementIgnore = true;
    scenario::journal().surFlip = [&](SDL_Surface*) {
        mouvementIgnore =
            mouvementIgnore && SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY) == SDL_IGNORE;
        if (scenario::journal().textes.back() == "C'est finiii !") {
            finies.push_back(scenario::journal().horloge);
            if (finies.size() == 1) {
                fichierApres = dossier.lire("highscores.tallyvault");
            } else {
                // Someone else's game leaves the file reset: the next pass
                // enters this count again.
                dossier.ecrire("highscores.tallyvault", "0 0 0 0 0");
                // Escape a moment after the screen's next look at the events:
                // the longest wait for an answer.
                sortie = scenario::journal().horloge + scenario::journal().dureeImage + 1;
                scenario::evenement(sortie, SDL_KEYDOWN, SDLK_ESCAPE);
            }
        }
    };
    jouer(ecran, nullptr);
    EXPECT_EQ(fichierApres, "50 40 35 30 20");
    EXPECT_EQ(dossier.lire("highscores.tallyvault"), "35 0 0 0 0");
    // Unsigned differences: an instant before its event fails too.
    ASSERT_EQ(finies.size(), 2u);
    EXPECT_LE(finies[1] - (DEBUT + 11000), 20u);
    EXPECT_LE(scenario::journal().horloge - sortie, 20u);
    ASSERT_EQ(sons(1).size(), 1u);
    EXPECT_LE(sons(1)[0] - finies[0] - 1, 20u);
    EXPECT_TRUE(mouvementIgnore);
    EXPECT_EQ(SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY), SDL_ENABLE);
    EXPECT_GT(scenario::nombreAppels("FMUSIC_StopSong"), 0);
}

// Escape, the close button or a missing song: each screen closes at once,
// releases what it loaded and leaves the menu its 800x600 window and the score
// file as they were; without its song nothing is drawn and the events are left
// to the menu.
TEST_F(Jeu, EveryWayOutOfAScreenGivesTheMenuItsWindowBack) {
    const std::pair<std::string, std::function<void()>> ecrans[] = {
        {"jeu01", [this] { jouer(ecran, nullptr); }},
        {"highscores", [this] { voirHighScores(ecran, nullptr, nullptr); }},
        {"instructions", [this] { instructions(ecran); }},
    };
    for (const auto& [musique, ouvrir] : ecrans) {
        // The song goes last, for good.
        for (const char* sortie : {"escape", "close", "no song"}) {
            SCOPED_TRACE(musique + ": " + sortie);
            scenario::reinitialiser(DEBUT);
            dossier.ecrire("highscores.tallyvault", "3 2 1 0 0");
            clic(DEBUT + 100);
            scenario::evenement(
                DEBUT + 5050, std::string(sortie) == "close" ? SDL_QUIT : SDL_KEYDOWN, SDLK_ESCAPE);
            const bool sansMusique = std::string(sortie) == "no song";
            if (sansMusique) {
                std::filesystem::remove("MUSIC/" + musique + ".mid");
            }
            ouvrir();
            EXPECT_EQ(dossier.lire("highscores.tallyvault"), "3 2 1 0 0");
            EXPECT_EQ(std::make_pair(SDL_GetVideoSurface()->w, SDL_GetVideoSurface()->h),
                      std::make_pair(800, 600));
            EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
            EXPECT_EQ(scenario::nombreAppels("FSOUND_Sample_Free"),
                      scenario::nombreAppels("FSOUND_Sample_Load"));
            EXPECT_EQ(scenario::journal().images.empty(), sansMusique);
            EXPECT_EQ(scenario::journal().file.size(), sansMusique ? 3u : 0u);
            EXPECT_LE(scenario::journal().horloge, DEBUT + 5050 + 4 + 16);
        }
    }
}

// The countdown line is centred on y = 560 near the bottom, the counter on
// the window's centre, both in plain letters on a white box.
TEST_F(Jeu, TextsSitWhereThePlayerLooksForThem) {
    scenario::reinitialiser(DEBUT);
    jouerJusqua(DEBUT + 1000);
    ASSERT_GE(scenario::journal().dessins.size(), 2u);
    for (const scenario::Dessin& dessin : scenario::journal().dessins) {
        const std::string& texte = dessin.texte.texte;
        const bool compteur = texte.rfind(LIGNE_CLICS, 0) == 0;
        EXPECT_EQ(dessin.x + dessin.largeur / 2, 400) << texte;
        EXPECT_EQ(dessin.y + dessin.hauteur / 2, compteur ? 300 : 560) << texte;
        EXPECT_TRUE(dessin.texte.ombre) << texte;
        EXPECT_EQ(dessin.texte.style, TTF_STYLE_NORMAL) << texte;
    }
}

// A picture loads only when it is a whole PNG of at most 4096 pixels a side
// (a few bytes can claim gigabytes of pixels), a font only when it is one; a
// named pipe nobody writes to gives nothing at once.
TEST_F(Pages, OnlyPicturesAndFontsSafeToLoadLoad) {
    ASSERT_EQ(mkfifo("tube", 0600), 0);
    std::filesystem::copy_file("IMG/icone.png", "coupee.png");
    std::filesystem::resize_file("coupee.png", 200);
    const std::pair<std::string, bool> images[] = {
        {"IMG/icone.png", true}, {PRESSATHON_TESTS_DIR "/images/large.png", false},
        {"coupee.png", false},   {PRESSATHON_TESTS_DIR "/images/haute.png", false},
        {"journal.ttf", false},  {"tube", false}};
    for (const auto& [chemin, charge] : images) {
        SDL_Surface* image = chargerImage(chemin.c_str());
        EXPECT_EQ(image != nullptr, charge) << chemin;
        SDL_FreeSurface(image);
    }
    for (const auto& [chemin, charge] : {std::pair<std::string, bool>{"journal.ttf", true},
                                         {"IMG/icone.png", false},
                                         {"tube", false}}) {
        TTF_Font* police = ouvrirPolice(chemin.c_str(), 20, TTF_STYLE_NORMAL);
        EXPECT_EQ(police != nullptr, charge) << chemin;
        if (police != nullptr) {
            TTF_CloseFont(police);
        }
    }
}

// Five lines at x = 200 and y = 75, 135... in the 600x450 window, drawn anew
// with each event.
TEST_F(Pages, HighScoreLinesAreWrittenAndPlacedInTheSmallWindow) {
    const std::pair<std::string, std::vector<std::string>> cas[] = {
        {"57 43 40 12 3",
         {" 1er : 57", "2\xE8me : 43", "3\xE8me : 40", "4\xE8me : 12", "5\xE8me : 3"}},
        {"2147483647 9 -2 -2147483648\n",
         {" 1er : 2147483647", "2\xE8me : 9", "3\xE8me : -2", "4\xE8me : -2147483648",
          "5\xE8me : 0"}},
    };
    for (const auto& [fichier, attendues] : cas) {
        SCOPED_TRACE(attendues[0]);
        scenario::reinitialiser(DEBUT);
        dossier.ecrire("highscores.tallyvault", fichier);
        scenario::evenement(DEBUT + 400, SDL_MOUSEMOTION);
        scenario::evenement(DEBUT + 900, SDL_KEYDOWN, SDLK_ESCAPE);
        voirHighScores(ecran, nullptr, nullptr);

        const auto& images = scenario::journal().images;
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].instant, DEBUT + 400);
        EXPECT_EQ(std::make_pair(images[0].largeur, images[0].hauteur), std::make_pair(600, 450));
        ASSERT_EQ(scenario::journal().dessins.size(), 10u);
        for (size_t i = 0; i < 5; ++i) {
            const scenario::Dessin& ligne = scenario::journal().dessins[i];
            EXPECT_EQ(ligne.texte.texte, attendues[i]);
            EXPECT_FALSE(ligne.texte.ombre);
            EXPECT_EQ(ligne.texte.style, TTF_STYLE_BOLD | TTF_STYLE_ITALIC);
            EXPECT_EQ(std::make_pair(ligne.x, ligne.y), std::make_pair(200, 75 + 60 * int(i)));
        }
    }
}

} // namespace
