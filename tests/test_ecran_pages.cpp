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
        recommencer();
    }

    // A new script, with every frame noted.
    void recommencer() {
        scenario::reinitialiser(DEBUT);
        images.clear();
        scenario::surFlip([this](SDL_Surface* surface) {
            images.push_back({scenario::horloge(), surface->w, surface->h});
        });
    }

    void TearDown() override {
        FSOUND_Close();
        TTF_Quit();
        SDL_Quit();
    }

    // The texts drawn during one frame, in order, with their positions.
    std::vector<scenario::Dessin> textesDeLImage(int image) const {
        std::vector<scenario::Dessin> textes;
        for (const auto& dessin : scenario::dessins()) {
            if (dessin.image == image && !dessin.texte.empty()) {
                textes.push_back(dessin);
            }
        }
        return textes;
    }

    void attendreLaFenetreDuMenu() const {
        SDL_Surface* surface = SDL_GetVideoSurface();
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(surface->w, 800);
        EXPECT_EQ(surface->h, 600);
    }

    struct Image {
        uint32_t instant;
        int largeur;
        int hauteur;
    };
    scenario::Dossier dossier;
    SDL_Surface* ecran = nullptr;
    std::vector<Image> images;
};

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
        SCOPED_TRACE(c.fichier);
        recommencer();
        dossier.ecrire("highscores.tallyvault", c.fichier);
        scenario::mouvement(DEBUT + 400);
        scenario::touche(DEBUT + 900, SDLK_ESCAPE);
        voirHighScores(ecran, nullptr, nullptr);

        // Nothing before the first event, then one frame per event.
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].instant, DEBUT + 400);
        EXPECT_EQ(images[0].largeur, 600);
        EXPECT_EQ(images[0].hauteur, 450);
        const auto textes = textesDeLImage(0);
        ASSERT_EQ(textes.size(), 5u);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(textes[i].texte, c.lignes[i]);
            EXPECT_EQ(textes[i].x, 200);
            EXPECT_EQ(textes[i].y, 75 + 60 * i);
        }
        EXPECT_EQ(scenario::titres().back(), "Pressathon - HIGHSCORES");
        attendreLaFenetreDuMenu();
        // The file is only read.
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), c.fichier);
    }
}

TEST_F(Pages, EveryWayOutOfTheHighScoresGivesTheMenuItsWindowBack) {
    for (const char* sortie : {"escape", "close", "no song"}) {
        SCOPED_TRACE(sortie);
        recommencer();
        if (std::string(sortie) == "no song") {
            dossier.retirer("MUSIC/highscores.mid");
            scenario::touche(DEBUT + 100, SDLK_ESCAPE);
        } else if (std::string(sortie) == "close") {
            scenario::fermeture(DEBUT + 100);
        } else {
            scenario::touche(DEBUT + 100, SDLK_ESCAPE);
        }
        voirHighScores(ecran, nullptr, nullptr);
        attendreLaFenetreDuMenu();
        EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
    }
    // The missing song closed the screen before any frame or line.
    EXPECT_TRUE(images.empty());
    EXPECT_TRUE(scenario::textes().empty());
    EXPECT_EQ(scenario::evenementsRestants(), 1u);
}

TEST_F(Pages, AnUnreadableScoreFileShowsZerosAndItsMessage) {
    dossier.retirer("highscores.tallyvault");
    scenario::touche(DEBUT + 100, SDLK_ESCAPE);
    ::testing::internal::CaptureStderr();
    voirHighScores(ecran, nullptr, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Erreur Fichier: Ouverture du fichier \xE9"
                                                        "chou\xE9"
                                                        "e lors de la r\xE9"
                                                        "cup\xE9"
                                                        "ration des HighScores");
    const auto textes = textesDeLImage(0);
    ASSERT_EQ(textes.size(), 5u);
    EXPECT_EQ(textes[0].texte, " 1er : 0");
    EXPECT_EQ(textes[4].texte, "5\xE8me : 0");
}

TEST_F(Pages, InstructionsRedrawPerEventAndCloseWithoutEndingTheProgram) {
    for (const bool parFermeture : {false, true}) {
        recommencer();
        scenario::mouvement(DEBUT + 200);
        scenario::touche(DEBUT + 300, SDLK_a);
        if (parFermeture) {
            scenario::fermeture(DEBUT + 500);
        } else {
            scenario::touche(DEBUT + 500, SDLK_ESCAPE);
        }
        instructions(ecran);
        ASSERT_EQ(images.size(), 3u);
        EXPECT_EQ(images[0].instant, DEBUT + 200);
        EXPECT_EQ(scenario::titres().back(), "Pressathon - INSTRUCTIONS");
        EXPECT_TRUE(scenario::textes().empty());
        // The page is drawn whole, centred on the unchanged 800x600 window.
        ASSERT_FALSE(scenario::dessins().empty());
        const auto& page = scenario::dessins().front();
        EXPECT_EQ(page.x, 400 - page.largeur / 2);
        EXPECT_EQ(page.y, 300 - page.hauteur / 2);
        attendreLaFenetreDuMenu();
        EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
    }
    dossier.retirer("MUSIC/instructions.mid");
    recommencer();
    scenario::touche(DEBUT + 100, SDLK_ESCAPE);
    instructions(ecran);
    EXPECT_TRUE(images.empty());
    EXPECT_EQ(scenario::evenementsRestants(), 1u);
}

} // namespace
