// The high-score screen and the instructions page, driven by a script.
#include "scenario.h"

#include "audio.h"
#include "ecran.h"
#include "highscores.h"
#include "instructions.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

namespace {

constexpr uint32_t DEBUT = 3000;

class Pages : public ::testing::Test {
  protected:
    void SetUp() override {
        SDL_Init(SDL_INIT_VIDEO);
        TTF_Init();
        FSOUND_Init(44100, 32, 0);
        ecran = ouvrirFenetre(800, 600);
    }

    void TearDown() override {
        FSOUND_Close();
        TTF_Quit();
        SDL_Quit();
    }

    static std::pair<int, int> tailleFenetre() {
        return {SDL_GetVideoSurface()->w, SDL_GetVideoSurface()->h};
    }

    scenario::Dossier dossier;
    SDL_Surface* ecran = nullptr;
};

// Five lines at x = 200 and y = 75, 135... in the 600x450 window, redrawn once
// per event; the file is only read, and the menu gets 800x600 back.
TEST_F(Pages, HighScoreLinesAreWrittenAndPlacedInTheSmallWindow) {
    struct Cas {
        const char* fichier;
        std::vector<std::string> lignes;
    };
    const Cas cas[] = {
        {"57 43 40 12 3",
         {" 1er : 57", "2\xE8me : 43", "3\xE8me : 40", "4\xE8me : 12", "5\xE8me : 3"}},
        {"2147483647 9 -2 -2147483648\n",
         {" 1er : 2147483647", "2\xE8me : 9", "3\xE8me : -2", "4\xE8me : -2147483648",
          "5\xE8me : 0"}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.lignes[0]);
        scenario::reinitialiser(DEBUT);
        dossier.ecrire("highscores.tallyvault", c.fichier);
        scenario::mouvement(DEBUT + 400);
        scenario::touche(DEBUT + 900, SDLK_ESCAPE);
        voirHighScores(ecran, nullptr, nullptr);

        const auto& images = scenario::journal().images;
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].instant, DEBUT + 400);
        EXPECT_EQ(images[0].titre, "Pressathon - HIGHSCORES");
        EXPECT_EQ(std::make_pair(images[0].largeur, images[0].hauteur), std::make_pair(600, 450));
        ASSERT_EQ(scenario::journal().dessins.size(), 10u);
        for (size_t i = 0; i < 5; ++i) {
            const scenario::Dessin& ligne = scenario::journal().dessins[i];
            EXPECT_EQ(ligne.texte, c.lignes[i]);
            EXPECT_EQ(std::make_pair(ligne.x, ligne.y), std::make_pair(200, 75 + 60 * int(i)));
        }
        EXPECT_EQ(tailleFenetre(), std::make_pair(800, 600));
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), c.fichier);
    }
}

// Escape, the close button or a missing song: each page closes, releases its
// song and leaves the menu its 800x600 window; without its song no frame is
// drawn and the Escape waiting in the queue is the menu's.
TEST_F(Pages, EveryWayOutOfAPageGivesTheMenuItsWindowBack) {
    for (const bool scores : {true, false}) {
        for (const char* sortie : {"escape", "close", "no song"}) {
            SCOPED_TRACE(testing::Message() << sortie << (scores ? " from the scores" : ""));
            scenario::reinitialiser(DEBUT);
            const std::string musique = scores ? "MUSIC/highscores.mid" : "MUSIC/instructions.mid";
            if (std::string(sortie) == "close") {
                scenario::fermeture(DEBUT + 100);
            } else {
                scenario::touche(DEBUT + 100, SDLK_ESCAPE);
            }
            if (std::string(sortie) == "no song") {
                dossier.retirer(musique);
            }
            if (scores) {
                voirHighScores(ecran, nullptr, nullptr);
            } else {
                instructions(ecran);
            }
            EXPECT_EQ(tailleFenetre(), std::make_pair(800, 600));
            EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
            EXPECT_EQ(scenario::journal().images.size(),
                      std::string(sortie) == "no song" ? 0u : 1u);
            EXPECT_EQ(scenario::journal().file.size(), std::string(sortie) == "no song" ? 1u : 0u);
            dossier.restaurer(musique);
        }
    }
}

} // namespace
