// The main menu and the credits, driven by a script on a virtual clock.
#include "main.h"
#include "scenario.h"

#include "audio.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace {

struct Image {
    uint32_t instant;
    int largeur;
    int hauteur;
    std::string titre;
};

// Runs the whole program on the script and notes every frame it shows.
class Programme : public ::testing::Test {
  protected:
    void SetUp() override {
        scenario::reinitialiser(1000);
        scenario::surFlip([this](SDL_Surface* ecran) {
            const auto& titres = scenario::titres();
            images.push_back({scenario::horloge(), ecran->w, ecran->h,
                              titres.empty() ? std::string() : titres.back()});
        });
    }

    int lancer() {
        char nom[] = "pressathon";
        char* arguments[] = {nom, nullptr};
        return SDL_main(1, arguments);
    }

    FMUSIC_MODULE* musiqueMenu() const {
        const auto& appels = scenario::appelsAudio();
        auto chargement = std::find_if(appels.begin(), appels.end(), [](const auto& appel) {
            return appel.operation == "FMUSIC_LoadSong";
        });
        return chargement == appels.end()
                   ? nullptr
                   : static_cast<FMUSIC_MODULE*>(const_cast<void*>(chargement->poignee));
    }

    // The sound operations made on the menu's song, in order.
    std::vector<std::string> appelsMusiqueMenu() const {
        std::vector<std::string> operations;
        for (const auto& appel : scenario::appelsAudio()) {
            if (appel.poignee == musiqueMenu() && appel.operation != "FMUSIC_LoadSong") {
                operations.push_back(appel.operation);
            }
        }
        return operations;
    }

    scenario::Dossier dossier;
    std::vector<Image> images;
};

TEST_F(Programme, NothingIsDrawnUntilTheFirstEventThenOneFramePerEvent) {
    scenario::touche(1500, SDLK_a);
    scenario::mouvement(1600);
    scenario::touche(2000, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);

    ASSERT_GE(images.size(), 3u);
    EXPECT_EQ(images[0].instant, 1500u);
    EXPECT_EQ(images[1].instant, 1600u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(images[i].titre, "Pressathon - HOME");
        EXPECT_EQ(images[i].largeur, 800);
        EXPECT_EQ(images[i].hauteur, 600);
    }
    EXPECT_NE(std::find(scenario::textes().begin(), scenario::textes().end(), "Bienvenue !"),
              scenario::textes().end());
}

// Escape, 4, keypad 4 and the close button all lead to the credits, which
// stay 10.1 seconds without input and end the program with status 0.
class VersLesCredits : public Programme, public ::testing::WithParamInterface<int> {};

TEST_P(VersLesCredits, ShowTheCreditsThenEnd) {
    const uint32_t depart = 2000;
    if (GetParam() == SDL_QUIT) {
        scenario::fermeture(depart);
    } else {
        scenario::touche(depart, static_cast<SDLKey>(GetParam()));
    }
    ASSERT_EQ(lancer(), 0);

    std::vector<Image> credits;
    std::copy_if(images.begin(), images.end(), std::back_inserter(credits),
                 [](const Image& image) { return image.titre == "Pressathon - CREDITS"; });
    ASSERT_FALSE(credits.empty());
    for (const Image& image : credits) {
        EXPECT_EQ(image.largeur, 300);
        EXPECT_EQ(image.hauteur, 500);
    }
    // The last credits frame is the first one at or past the end time.
    EXPECT_GE(credits.back().instant, depart + 10100);
    EXPECT_LT(credits.back().instant, depart + 10100 + 16);
    // The menu draws one last frame, in the credits' window, then stops.
    EXPECT_EQ(images.back().titre, "Pressathon - HOME");
    EXPECT_EQ(images.back().largeur, 300);
    EXPECT_EQ(appelsMusiqueMenu(),
              (std::vector<std::string>{"FMUSIC_PlaySong", "FMUSIC_SetLooping", "FMUSIC_StopSong",
                                        "FMUSIC_FreeSong"}));
    EXPECT_EQ(scenario::nombreAppels("FSOUND_Close"), 1);
}

INSTANTIATE_TEST_SUITE_P(Menu, VersLesCredits,
                         ::testing::Values(SDLK_ESCAPE, SDLK_4, SDLK_KP4, SDL_QUIT));

TEST_F(Programme, EscapeOrCloseDuringTheCreditsEndsAtOnce) {
    for (const bool parFermeture : {false, true}) {
        scenario::reinitialiser(1000);
        images.clear();
        scenario::touche(2000, SDLK_4);
        if (parFermeture) {
            scenario::fermeture(3000);
        } else {
            scenario::touche(3000, SDLK_ESCAPE);
        }
        ASSERT_EQ(lancer(), 0);
        EXPECT_LT(scenario::horloge(), 3000u + 3 * 16) << "closed: " << parFermeture;
        EXPECT_EQ(scenario::evenementsRestants(), 0u);
    }
}

TEST_F(Programme, EachScreenKeyStopsTheMenuSongAndPlaysItAgainAfter) {
    const SDLKey touches[] = {SDLK_1, SDLK_KP1, SDLK_2, SDLK_KP2, SDLK_3, SDLK_KP3};
    uint32_t instant = 2000;
    for (SDLKey touche : touches) {
        scenario::touche(instant, touche);
        // Leaves whatever screen the key opened.
        scenario::touche(instant + 500, SDLK_ESCAPE);
        instant += 1000;
    }
    scenario::touche(instant, SDLK_q);
    scenario::touche(instant + 100, SDLK_ESCAPE);
    scenario::touche(instant + 200, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);

    std::vector<std::string> attendu = {"FMUSIC_PlaySong", "FMUSIC_SetLooping"};
    for (size_t i = 0; i < std::size(touches); ++i) {
        attendu.push_back("FMUSIC_StopSong");
        attendu.push_back("FMUSIC_PlaySong");
    }
    attendu.push_back("FMUSIC_StopSong");
    attendu.push_back("FMUSIC_FreeSong");
    EXPECT_EQ(appelsMusiqueMenu(), attendu);
    // Every screen gave the 800x600 window back to the menu.
    for (const Image& image : images) {
        if (image.titre == "Pressathon - HOME" && image.instant < instant + 200) {
            EXPECT_EQ(image.largeur, 800) << "at " << image.instant;
            EXPECT_EQ(image.hauteur, 600) << "at " << image.instant;
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
    EXPECT_EQ(scenario::flips(), 0);
    EXPECT_EQ(scenario::evenementsRestants(), 1u);
    // Nothing was released on that way out; the test tidies up for the next.
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
    ASSERT_EQ(lancer(), 0);
    EXPECT_TRUE(scenario::textes().empty());
    ASSERT_FALSE(images.empty());
}

} // namespace
