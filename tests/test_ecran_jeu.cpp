// The click game, driven by scripted clicks on a virtual clock.
#include "scenario.h"

#include "audio.h"
#include "ecran.h"
#include "jeu.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint32_t DEBUT = 5000;

void clic(uint32_t instant, int bouton = SDL_BUTTON_LEFT) {
    scenario::appui(instant, bouton);
    scenario::relache(instant + 5, bouton);
}

class Jeu : public ::testing::Test {
  protected:
    void SetUp() override {
        scenario::reinitialiser(DEBUT);
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

    // Plays until Escape, well after the end of the game time.
    void jouerJusqua(uint32_t sortie = DEBUT + 15000) {
        scenario::touche(sortie, SDLK_ESCAPE);
        jouer(ecran, nullptr);
    }

    std::vector<std::string> textesCommencant(const std::string& debut) const {
        std::vector<std::string> trouves;
        for (const std::string& texte : scenario::textes()) {
            if (texte.rfind(debut, 0) == 0) {
                trouves.push_back(texte);
            }
        }
        return trouves;
    }

    // The count shown by the last click line.
    int compteAffiche() const {
        const auto lignes = textesCommencant("Vous avez cliqu\xE9(e) [ ");
        int compte = -1;
        if (!lignes.empty()) {
            std::sscanf(lignes.back().c_str(), "Vous avez cliqu\xE9(e) [ %d ] fois !", &compte);
        }
        return compte;
    }

    const void* son(const char* operation, size_t rang) const {
        size_t n = 0;
        for (const auto& appel : scenario::appelsAudio()) {
            if (appel.operation == operation && n++ == rang) {
                return appel.poignee;
            }
        }
        return nullptr;
    }

    scenario::Dossier dossier;
    SDL_Surface* ecran = nullptr;
};

TEST_F(Jeu, CountdownStepsByHundredThenEnds) {
    clic(DEBUT + 3000);
    jouerJusqua();

    std::vector<std::string> attendu;
    for (int reste = 9900; reste >= 0; reste -= 100) {
        attendu.push_back("Plus que : " + std::to_string(reste) + " millisecondes");
    }
    EXPECT_EQ(textesCommencant("Plus que : "), attendu);
    EXPECT_EQ(textesCommencant("Temps : "), std::vector<std::string>{"Temps : 10000"});

    // After the last step only "C'est finiii !" is rendered, and the click
    // line keeps its last count.
    const auto& textes = scenario::textes();
    const auto dernierPas = std::find(textes.begin(), textes.end(), attendu.back());
    ASSERT_NE(dernierPas, textes.end());
    const auto fin = std::find(dernierPas, textes.end(), "C'est finiii !");
    ASSERT_NE(fin, textes.end());
    EXPECT_TRUE(
        std::all_of(fin, textes.end(), [](const std::string& t) { return t == "C'est finiii !"; }));
    EXPECT_EQ(compteAffiche(), 1);
    EXPECT_EQ(*(fin - 1), "Vous avez cliqu\xE9(e) [ 1 ] fois !");
}

TEST_F(Jeu, OnlyAPressAndReleaseDuringTheGameCount) {
    struct Cas {
        const char* nom;
        void (*script)();
        int clics;
    };
    const Cas cas[] = {
        {"release without a press", []() { scenario::relache(DEBUT + 500); }, 0},
        {"press before the end, release after",
         []() {
             scenario::appui(DEBUT + 11000);
             scenario::relache(DEBUT + 13000);
         },
         0},
        {"two buttons down then up",
         []() {
             scenario::appui(DEBUT + 500, SDL_BUTTON_LEFT);
             scenario::appui(DEBUT + 510, SDL_BUTTON_RIGHT);
             scenario::relache(DEBUT + 520, SDL_BUTTON_LEFT);
             scenario::relache(DEBUT + 530, SDL_BUTTON_RIGHT);
         },
         1},
        {"three clicks with the wheel and the middle button",
         []() {
             clic(DEBUT + 500, SDL_BUTTON_MIDDLE);
             clic(DEBUT + 600, SDL_BUTTON_WHEELUP);
             clic(DEBUT + 700);
         },
         3},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        scenario::reinitialiser(DEBUT);
        dossier.ecrire("highscores.tallyvault", "0 0 0 0 0");
        c.script();
        jouerJusqua();
        EXPECT_EQ(compteAffiche(), c.clics);
        EXPECT_EQ(scenario::nombreAppels("FSOUND_PlaySound"), c.clics + 1);
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), std::to_string(c.clics) + " 0 0 0 0");
    }
}

TEST_F(Jeu, HoldingAButtonCountsOnlyOnRelease) {
    scenario::appui(DEBUT + 1000);
    scenario::relache(DEBUT + 4000);
    jouerJusqua();
    const auto lignes = textesCommencant("Vous avez cliqu\xE9(e) [ ");
    // About 26 passes happen between the press and the release.
    const auto premierUn =
        std::find(lignes.begin(), lignes.end(), "Vous avez cliqu\xE9(e) [ 1 ] fois !");
    ASSERT_NE(premierUn, lignes.end());
    EXPECT_GT(premierUn - lignes.begin(), 30);
    EXPECT_EQ(compteAffiche(), 1);
}

TEST_F(Jeu, NoClickIsLostAmongPointerMotion) {
    // 50 clicks a second for ten seconds, with the pointer sending an event
    // every millisecond: far more events than the game makes passes.
    for (uint32_t ms = 0; ms < 10000; ++ms) {
        if (ms % 20 == 0) {
            clic(DEBUT + ms);
        }
        scenario::mouvement(DEBUT + ms, static_cast<int>(ms % 800), 300);
    }
    // SDL itself holds no more than 128 pending events: the game has it drop
    // pointer motion while it counts, and the menu gets it back afterwards.
    std::vector<Uint8> etats;
    scenario::surFlip(
        [&etats](SDL_Surface*) { etats.push_back(SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY)); });
    jouerJusqua(DEBUT + 20000);
    EXPECT_EQ(compteAffiche(), 500);
    EXPECT_EQ(dossier.lire("highscores.tallyvault"), "500 0 0 0 0");
    ASSERT_FALSE(etats.empty());
    EXPECT_TRUE(std::all_of(etats.begin(), etats.end(), [](Uint8 e) { return e == SDL_IGNORE; }));
    EXPECT_EQ(SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY), SDL_ENABLE);
}

TEST_F(Jeu, FinishedGameEntersItsScoreOnceAndPlaysTheEndSoundOnce) {
    dossier.ecrire("highscores.tallyvault", "50 40 30 20 10");
    for (int i = 0; i < 35; ++i) {
        clic(DEBUT + 100 + 50 * static_cast<uint32_t>(i));
    }
    jouerJusqua(DEBUT + 20000);
    EXPECT_EQ(dossier.lire("highscores.tallyvault"), "50 40 35 30 20");

    const void* sonClic = son("FSOUND_Sample_Load", 0);
    const void* sonFin = son("FSOUND_Sample_Load", 1);
    ASSERT_NE(sonClic, nullptr);
    ASSERT_NE(sonFin, nullptr);
    int clics = 0;
    int fins = 0;
    for (const auto& appel : scenario::appelsAudio()) {
        if (appel.operation == "FSOUND_PlaySound") {
            clics += appel.poignee == sonClic ? 1 : 0;
            fins += appel.poignee == sonFin ? 1 : 0;
        }
    }
    EXPECT_EQ(clics, 35);
    EXPECT_EQ(fins, 1);
    // The song stops once the time is up, and everything is released.
    EXPECT_GT(scenario::nombreAppels("FMUSIC_StopSong"), 1);
    EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
    EXPECT_EQ(scenario::nombreAppels("FSOUND_Sample_Free"), 2);
}

TEST_F(Jeu, LeavingWhileCountingKeepsTheScoreFileAsItWas) {
    for (const bool parFermeture : {false, true}) {
        scenario::reinitialiser(DEBUT);
        dossier.ecrire("highscores.tallyvault", "3 2 1 0 0");
        clic(DEBUT + 100);
        clic(DEBUT + 200);
        if (parFermeture) {
            scenario::fermeture(DEBUT + 5000);
        } else {
            scenario::touche(DEBUT + 5000, SDLK_ESCAPE);
        }
        jouer(ecran, nullptr);
        EXPECT_LT(scenario::horloge(), DEBUT + 5200);
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), "3 2 1 0 0");
        EXPECT_EQ(scenario::nombreAppels("FMUSIC_StopSong"), 0);
    }
}

TEST_F(Jeu, WithoutItsSongTheGameClosesAtOnceReleasingEverything) {
    dossier.retirer("MUSIC/jeu01.mid");
    scenario::touche(DEBUT + 100, SDLK_ESCAPE);
    jouer(ecran, nullptr);
    EXPECT_EQ(scenario::flips(), 0);
    EXPECT_EQ(scenario::evenementsRestants(), 1u);
    EXPECT_EQ(scenario::nombreAppels("FSOUND_Sample_Free"), 2);
    EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
}

TEST_F(Jeu, TextsSitWhereThePlayerLooksForThem) {
    // On a plain white window only the two texts leave dark pixels: the
    // countdown line centred on y = 560, the counter on the window's centre.
    dossier.retirer("IMG/fondJeu.png");
    struct Boite {
        int x0 = 800, y0 = 600, x1 = -1, y1 = -1;
    };
    Boite bas;
    Boite milieu;
    bool mesure = false;
    scenario::surFlip([&](SDL_Surface* surface) {
        if (mesure || scenario::flips() < 3) {
            return;
        }
        mesure = true;
        for (int y = 0; y < surface->h; ++y) {
            for (int x = 0; x < surface->w; ++x) {
                const uint32_t c = scenario::pixel(surface, x, y);
                if ((c >> 16) + ((c >> 8) & 0xFF) + (c & 0xFF) > 192) {
                    continue;
                }
                Boite& b = y >= 450 ? bas : milieu;
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
            }
        }
    });
    jouerJusqua(DEBUT + 1000);
    ASSERT_TRUE(mesure);
    EXPECT_NEAR((bas.x0 + bas.x1) / 2, 400, 15);
    EXPECT_NEAR((bas.y0 + bas.y1) / 2, 560, 15);
    EXPECT_NEAR((milieu.x0 + milieu.x1) / 2, 400, 15);
    EXPECT_NEAR((milieu.y0 + milieu.y1) / 2, 300, 15);
    EXPECT_GT(milieu.y0, 200);
}

} // namespace
