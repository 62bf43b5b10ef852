// The whole program from its menu: start-up, the keys, the credits and the ways it ends.
#include "main.h"
#include "scenario.h"

#include "audio.h"
#include "ecran.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace {

class Programme : public ::testing::Test {
  protected:
    void SetUp() override {
        scenario::reinitialiser(1000);
    }

    static int lancer() {
        char nom[] = "pressathon";
        char* arguments[] = {nom, nullptr};
        return SDL_main(1, arguments);
    }

    // The sound operations made on the menu's song, after its loading.
    static std::vector<std::string> appelsMusiqueMenu() {
        std::vector<std::string> operations;
        for (const auto& appel : scenario::appelsAudio()) {
            if (appel.poignee == scenario::poignee("FMUSIC_LoadSong") &&
                appel.operation != "FMUSIC_LoadSong") {
                operations.push_back(appel.operation);
            }
        }
        return operations;
    }

    scenario::Dossier dossier;
};

TEST_F(Programme, NothingIsDrawnUntilTheFirstEventThenOneFramePerEvent) {
    scenario::touche(1500, SDLK_a);
    scenario::mouvement(1600);
    scenario::touche(2000, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);

    const auto& images = scenario::images();
    ASSERT_GE(images.size(), 3u);
    EXPECT_EQ(images[0].instant, 1500u);
    EXPECT_EQ(images[1].instant, 1600u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(images[i].titre, "Pressathon - HOME");
        EXPECT_EQ(std::make_pair(images[i].largeur, images[i].hauteur), std::make_pair(800, 600));
    }
    // The welcome text, centred across and raised 265 pixels above the centre.
    const scenario::Dessin& bienvenue = scenario::dessins().at(0);
    EXPECT_EQ(bienvenue.texte, "Bienvenue !");
    EXPECT_EQ(bienvenue.x, 400 - bienvenue.largeur / 2);
    EXPECT_EQ(bienvenue.y, 300 - bienvenue.hauteur / 2 - 265);
}

// Escape, 4, keypad 4 and the close button all lead to the credits, which
// stay 10.1 seconds, or end at once on Escape or a close request, and the
// program then ends with status 0.
TEST_F(Programme, EveryWayOutShowsTheCreditsThenEnds) {
    constexpr int FERMER = -1;
    const auto geste = [](uint32_t instant, int quoi) {
        if (quoi == FERMER) {
            scenario::fermeture(instant);
        } else if (quoi != 0) {
            scenario::touche(instant, static_cast<SDLKey>(quoi));
        }
    };
    const std::pair<int, int> cas[] = {{SDLK_ESCAPE, 0}, {SDLK_4, 0},           {SDLK_KP4, 0},
                                       {FERMER, 0},      {SDLK_4, SDLK_ESCAPE}, {SDLK_4, FERMER}};
    for (const auto& [entree, interruption] : cas) {
        SCOPED_TRACE(testing::Message() << "way in " << entree << ", out " << interruption);
        scenario::reinitialiser(1000);
        geste(2000, entree);
        geste(5000, interruption);
        ASSERT_EQ(lancer(), 0);

        const auto& images = scenario::images();
        const auto debut = std::find_if(images.begin(), images.end(), [](const auto& i) {
            return i.titre == "Pressathon - CREDITS";
        });
        ASSERT_NE(debut, images.end());
        ASSERT_EQ(images.back().titre, "Pressathon - HOME");
        for (auto i = debut; i != images.end(); ++i) {
            EXPECT_EQ(std::make_pair(i->largeur, i->hauteur), std::make_pair(300, 500));
        }
        // The last credits frame is the first one at or past the end.
        const uint32_t fin = interruption != 0 ? 5000 : 2000 + 10100;
        EXPECT_GE((images.end() - 2)->instant, fin);
        EXPECT_LT((images.end() - 2)->instant, fin + 32);
        EXPECT_EQ(appelsMusiqueMenu(),
                  (std::vector<std::string>{"FMUSIC_PlaySong", "FMUSIC_SetLooping",
                                            "FMUSIC_StopSong", "FMUSIC_FreeSong"}));
        EXPECT_EQ(scenario::nombreAppels("FSOUND_Close"), 1);
    }
}

TEST_F(Programme, EachScreenKeyStopsTheMenuSongAndPlaysItAgainAfter) {
    const SDLKey touches[] = {SDLK_1, SDLK_KP1, SDLK_2, SDLK_KP2, SDLK_3, SDLK_KP3, SDLK_q};
    uint32_t instant = 2000;
    for (SDLKey touche : touches) {
        scenario::touche(instant, touche);
        // Leaves whatever screen the key opened.
        scenario::touche(instant + 500, touche == SDLK_q ? SDLK_a : SDLK_ESCAPE);
        instant += 1000;
    }
    scenario::touche(instant, SDLK_ESCAPE);
    scenario::touche(instant + 100, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);

    std::vector<std::string> attendu = {"FMUSIC_PlaySong", "FMUSIC_SetLooping"};
    for (size_t i = 0; i + 1 < std::size(touches); ++i) {
        attendu.push_back("FMUSIC_StopSong");
        attendu.push_back("FMUSIC_PlaySong");
    }
    attendu.push_back("FMUSIC_StopSong");
    attendu.push_back("FMUSIC_FreeSong");
    EXPECT_EQ(appelsMusiqueMenu(), attendu);
    // Every screen gave the 800x600 window back to the menu.
    for (const auto& image : scenario::images()) {
        if (image.titre == "Pressathon - HOME" && image.instant < instant) {
            EXPECT_EQ(std::make_pair(image.largeur, image.hauteur), std::make_pair(800, 600));
        }
    }
}

TEST_F(Programme, WithoutTheMenuSongTheProgramEndsWithStatusOne) {
    dossier.retirer("MUSIC/menu.mid");
    scenario::touche(2000, SDLK_ESCAPE);
    // That way out releases nothing, on purpose.
#ifdef __SANITIZE_ADDRESS__
    __lsan_disable();
#endif
    EXPECT_EQ(lancer(), 1);
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
    EXPECT_TRUE(scenario::images().empty());
    EXPECT_EQ(scenario::evenementsRestants(), 1u);
    // The test tidies up for the next.
    SDL_Quit();
    TTF_Quit();
    FSOUND_Close();
}

TEST_F(Programme, MissingPicturesAndFontAreSkipped) {
    for (const char* fichier :
         {"IMG/fond.png", "IMG/icone.png", "IMG/fondCredits.png", "journal.ttf"}) {
        dossier.retirer(fichier);
    }
    scenario::touche(2000, SDLK_a);
    scenario::touche(2100, SDLK_ESCAPE);
    scenario::touche(2200, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);
    EXPECT_TRUE(scenario::textes().empty());
    EXPECT_FALSE(scenario::images().empty());
}

TEST(Fenetre, AModeTheDisplayRefusesEndsTheProgramWithItsLine) {
    SDL_Init(SDL_INIT_VIDEO);
    EXPECT_EXIT(ouvrirFenetre(100000, 100000), testing::ExitedWithCode(1),
                "^Erreur Affichage: le serveur graphique refuse le mode 100000x100000\n$");
    SDL_Quit();
}

} // namespace
