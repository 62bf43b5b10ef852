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
const std::string LIGNE_CLICS = "Vous avez cliqu\xE9(e) [ ";

void clic(uint32_t instant, int bouton = SDL_BUTTON_LEFT) {
    scenario::appui(instant, bouton);
    scenario::relache(instant + 5, bouton);
}

// What the countdown line showed, and from when.
struct Affichage {
    uint32_t instant;
    std::string texte;
};

class Jeu : public ::testing::Test {
  protected:
    void SetUp() override {
        SDL_Init(SDL_INIT_VIDEO);
        TTF_Init();
        FSOUND_Init(44100, 32, 0);
        ecran = ouvrirFenetre(800, 600);
        recommencer(DEBUT);
    }

    void TearDown() override {
        FSOUND_Close();
        TTF_Quit();
        SDL_Quit();
    }

    // A new script; every flip notes the countdown line it shows. The flip
    // numbered `imageCalee` takes 500 ms.
    void recommencer(uint32_t debut, uint32_t dureeImage = 16, int imageCalee = -1) {
        scenario::reinitialiser(debut);
        affichages.clear();
        scenario::surFlip([this, dureeImage, imageCalee](SDL_Surface*) {
            scenario::dureeImage(
                static_cast<int>(scenario::images().size()) == imageCalee ? 500 : dureeImage);
            for (auto t = scenario::textes().rbegin(); t != scenario::textes().rend(); ++t) {
                if (t->rfind(LIGNE_CLICS, 0) != 0) {
                    affichages.push_back({scenario::horloge(), *t});
                    break;
                }
            }
        });
    }

    void jouerJusqua(uint32_t sortie) {
        scenario::touche(sortie, SDLK_ESCAPE);
        jouer(ecran, nullptr);
    }

    uint32_t premierAffichage(const std::string& texte) const {
        const auto a = std::find_if(affichages.begin(), affichages.end(),
                                    [&texte](const Affichage& a) { return a.texte == texte; });
        return a == affichages.end() ? 0 : a->instant;
    }

    int compteAffiche() const {
        int compte = -1;
        for (const std::string& texte : scenario::textes()) {
            std::sscanf(texte.c_str(), "Vous avez cliqu\xE9(e) [ %d ] fois !", &compte);
        }
        return compte;
    }

    // When the sample loaded `rang`-th (0 the click, 1 the end sound) was played.
    static std::vector<uint32_t> sons(size_t rang) {
        std::vector<uint32_t> instants;
        for (const auto& appel : scenario::appelsAudio()) {
            if (appel.operation == "FSOUND_PlaySound" &&
                appel.poignee == scenario::poignee("FSOUND_Sample_Load", rang)) {
                instants.push_back(appel.instant);
            }
        }
        return instants;
    }

    scenario::Dossier dossier;
    SDL_Surface* ecran = nullptr;
    std::vector<Affichage> affichages;
};

// From the first step to 0 the countdown takes its ten seconds of real time,
// however long frames take to show, and the clock wrapping changes nothing.
TEST_F(Jeu, TheCountdownLastsTenTrueSeconds) {
    struct Cas {
        uint32_t debut;
        uint32_t dureeImage;
        bool calage; // one frame takes 500 ms
        uint32_t dureeMin;
        uint32_t dureeMax;
    };
    for (const Cas& c :
         {Cas{DEBUT, 17, false, 9900, 10000}, Cas{DEBUT, 4, false, 9900, 10000},
          Cas{DEBUT, 16, true, 10300, 10400}, Cas{(1u << 31) - 3000, 16, false, 9900, 10000},
          Cas{0u - 3000, 16, false, 9900, 10000}}) {
        SCOPED_TRACE(testing::Message() << "start " << c.debut << ", frames of " << c.dureeImage
                                        << " ms, stall " << c.calage);
        recommencer(c.debut, c.dureeImage, c.calage ? 40 : -1);
        clic(c.debut + 3000);
        jouerJusqua(c.debut + 15000);

        std::vector<std::string> attendu;
        for (int reste = 9900; reste >= 0; reste -= 100) {
            attendu.push_back("Plus que : " + std::to_string(reste) + " millisecondes");
        }
        attendu.push_back("C'est finiii !");
        std::vector<std::string> montre;
        for (const Affichage& a : affichages) {
            if (montre.empty() || montre.back() != a.texte) {
                montre.push_back(a.texte);
            }
        }
        EXPECT_EQ(montre, attendu);
        const uint32_t duree = premierAffichage(attendu[99]) - premierAffichage(attendu[0]);
        EXPECT_GE(duree, c.dureeMin);
        EXPECT_LE(duree, c.dureeMax);
        EXPECT_EQ(std::count(scenario::textes().begin(), scenario::textes().end(), "Temps : 10000"),
                  1);
        EXPECT_EQ(compteAffiche(), 1);
    }
}

// Only the release of a button pressed during the game counts, once per
// press, and the wheel's notches are not clicks.
TEST_F(Jeu, ClicksCountOnTheReleaseOfRealButtons) {
    struct Cas {
        const char* nom;
        void (*script)();
        int clics;
    };
    const Cas cas[] = {
        {"release without a press", []() { scenario::relache(DEBUT + 500); }, 0},
        {"press before the end, release after",
         []() {
             scenario::appui(DEBUT + 9950);
             scenario::relache(DEBUT + 10200);
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
        {"every real button, with wheel notches in between",
         []() {
             uint32_t t = DEBUT + 500;
             for (int bouton : {1, 2, 3, 6, 7}) {
                 for (int molette = 0; molette < 20; ++molette) {
                     clic(t, molette % 2 == 0 ? SDL_BUTTON_WHEELUP : SDL_BUTTON_WHEELDOWN);
                     t += 2;
                 }
                 scenario::appui(t, bouton);
                 clic(t + 1, SDL_BUTTON_WHEELDOWN);
                 scenario::relache(t + 3, bouton);
                 t += 50;
             }
         },
         5},
        {"a button held for three seconds",
         []() {
             scenario::appui(DEBUT + 1000);
             scenario::relache(DEBUT + 4000);
         },
         1},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        recommencer(DEBUT);
        dossier.ecrire("highscores.tallyvault", "0 0 0 0 0");
        c.script();
        jouerJusqua(DEBUT + 12000);
        EXPECT_EQ(compteAffiche(), c.clics);
        EXPECT_EQ(sons(0).size(), static_cast<size_t>(c.clics));
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), std::to_string(c.clics) + " 0 0 0 0");
    }
    // The held button counted on its release, not before.
    ASSERT_EQ(sons(0).size(), 1u);
    EXPECT_GE(sons(0)[0], DEBUT + 4000);
}

// While the game waits for its next step, a click is counted and its sound
// started when it is released, not at the next step.
TEST_F(Jeu, AClickIsHeardWhenReleased) {
    recommencer(DEBUT, 2);
    std::vector<uint32_t> relachements;
    for (uint32_t i = 0; i < 60; ++i) {
        const uint32_t t = DEBUT + 200 + i * 137;
        clic(t);
        relachements.push_back(t + 5);
    }
    jouerJusqua(DEBUT + 12000);
    const std::vector<uint32_t> entendus = sons(0);
    ASSERT_EQ(entendus.size(), relachements.size());
    for (size_t i = 0; i < entendus.size(); ++i) {
        EXPECT_GE(entendus[i], relachements[i]);
        EXPECT_LE(entendus[i], relachements[i] + 4) << "click " << i;
    }
}

TEST_F(Jeu, NoClickIsLostAmongPointerMotion) {
    // 50 clicks a second with the pointer sending an event every
    // millisecond: far more events than the game makes passes.
    for (uint32_t ms = 0; ms < 9800; ++ms) {
        if (ms % 20 == 0) {
            clic(DEBUT + ms);
        }
        scenario::mouvement(DEBUT + ms);
    }
    // SDL itself holds no more than 128 pending events: the game has it drop
    // pointer motion while it counts, and the menu gets it back afterwards.
    std::vector<Uint8> etats;
    scenario::surFlip(
        [&etats](SDL_Surface*) { etats.push_back(SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY)); });
    jouerJusqua(DEBUT + 20000);
    EXPECT_EQ(compteAffiche(), 490);
    EXPECT_EQ(dossier.lire("highscores.tallyvault"), "490 0 0 0 0");
    ASSERT_FALSE(etats.empty());
    EXPECT_TRUE(std::all_of(etats.begin(), etats.end(), [](Uint8 e) { return e == SDL_IGNORE; }));
    EXPECT_EQ(SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY), SDL_ENABLE);
}

// Once the time is up, every pass submits the count again and the screen
// redraws at the display's pace; the end sound plays once, on the second pass.
TEST_F(Jeu, TheFinishedGameSubmitsItsScoreOnEveryPass) {
    recommencer(DEBUT, 1);
    dossier.ecrire("highscores.tallyvault", "50 40 30 20 10");
    for (uint32_t i = 0; i < 35; ++i) {
        clic(DEBUT + 100 + 50 * i);
    }
    std::vector<uint32_t> imagesFinies;
    std::string fichierApres;
    scenario::surFlip([&](SDL_Surface*) {
        if (scenario::textes().back() != "C'est finiii !") {
            return;
        }
        imagesFinies.push_back(scenario::horloge());
        if (imagesFinies.size() == 1) {
            fichierApres = dossier.lire("highscores.tallyvault");
        } else if (imagesFinies.size() == 3) {
            // Someone else's game leaves the file reset: the next pass
            // enters this count again.
            dossier.ecrire("highscores.tallyvault", "0 0 0 0 0");
        }
    });
    jouerJusqua(DEBUT + 12000);
    EXPECT_EQ(fichierApres, "50 40 35 30 20");
    EXPECT_EQ(dossier.lire("highscores.tallyvault"), "35 0 0 0 0");
    EXPECT_EQ(sons(0).size(), 35u);
    ASSERT_EQ(sons(1).size(), 1u);
    ASSERT_GE(imagesFinies.size(), 3u);
    EXPECT_GT(sons(1)[0], imagesFinies[0]);
    EXPECT_LE(sons(1)[0], imagesFinies[1]);
    for (size_t i = 1; i < imagesFinies.size(); ++i) {
        EXPECT_GE(imagesFinies[i] - imagesFinies[i - 1], 16u);
    }
    EXPECT_GT(scenario::nombreAppels("FMUSIC_StopSong"), 1);
    EXPECT_EQ(scenario::nombreAppels("FMUSIC_FreeSong"), 1);
    EXPECT_EQ(scenario::nombreAppels("FSOUND_Sample_Free"), 2);
}

TEST_F(Jeu, LeavingWhileCountingKeepsTheScoreFileAsItWas) {
    for (const bool parFermeture : {false, true}) {
        recommencer(DEBUT);
        dossier.ecrire("highscores.tallyvault", "3 2 1 0 0");
        clic(DEBUT + 100);
        clic(DEBUT + 200);
        if (parFermeture) {
            scenario::fermeture(DEBUT + 5050);
        } else {
            scenario::touche(DEBUT + 5050, SDLK_ESCAPE);
        }
        jouer(ecran, nullptr);
        EXPECT_LE(scenario::horloge(), DEBUT + 5050 + 4 + 16);
        EXPECT_EQ(dossier.lire("highscores.tallyvault"), "3 2 1 0 0");
        EXPECT_EQ(scenario::nombreAppels("FMUSIC_StopSong"), 0);
    }
}

TEST_F(Jeu, WithoutItsSongTheGameClosesAtOnceReleasingEverything) {
    dossier.retirer("MUSIC/jeu01.mid");
    scenario::touche(DEBUT + 100, SDLK_ESCAPE);
    jouer(ecran, nullptr);
    EXPECT_TRUE(scenario::images().empty());
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
        if (mesure || scenario::images().size() < 3) {
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
