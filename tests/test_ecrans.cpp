// The game, the high scores and the instructions, driven by scripted events on a virtual clock.
#include "carte_son.h"
#include "scenario.h"

#include "ecran.h"
#include "fichier_scores.h"
#include "instructions.h"
#include "jeu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

namespace {

using scenario::journal;
using Jeu = scenario::Dossier;

const std::string FINI = "C'est finiii !";

// A button pressed, or released (the button negated), when (ms from the start).
using Geste = std::pair<uint32_t, int>;

// One game a row. From its first step to 0 the countdown takes its ten seconds of real time,
// however long frames take (a stall costs one step) and across the clock's wrap, on a white box
// near the bottom, the counter on the centre. Only the release of a real button pressed while
// time remains counts, once per press, heard as soon as the game wakes. Once the time is up
// the song stops, the screen shows one frame, and one more when the window is uncovered,
// and the count goes into the score file once, where its rank puts it, even in a table not
// sorted; the end sound plays once, on the second pass, and Escape is answered within 20 ms.
// Pointer motion, which could push clicks out of SDL's 128 pending events, is dropped until the
// game returns.
TEST_F(Jeu, AGameFromItsFirstStepToEscape) {
    SDL_Init(SDL_INIT_VIDEO);
    TTF_Init();
    FSOUND_Init(44100, 32, 0);
    SDL_Surface* ecran = ouvrirFenetre(800, 600);
    std::vector<Geste> boutons, clics; // each real button held while the wheel turns each way
    for (const int b : {1, 2, 3, 6, 7}) {
        const uint32_t t = 300 + 100 * b;
        boutons.insert(boutons.end(), {{t, b}, {t + 2, 4}, {t + 3, -4}, {t + 4, 5}, {t + 5, -5}});
        boutons.emplace_back(t + 9, -b);
    }
    const std::vector<Geste> deuxBoutons = {{500, 1}, {510, 3}, {520, -1}, {530, -3}};
    for (uint32_t t = 200; t < 200 + 45 * 137; t += 137) {
        clics.insert(clics.end(), {{t, 1}, {t + 5, -1}});
    }
    // The start, how long frames take, how long the 40th takes, the countdown's length, what
    // the player does, the clicks that count, and the score file before and after (zeros
    // before, the count and zeros after, when not given).
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, std::vector<Geste>, int, std::string,
                     std::string>
        cas[] = {{5000, 17, 17, 9900, clics, 45, "10 50 40 30 20", "45 10 50 40 30"},
                 {5000, 4, 500, 10300, {{400, 4}, {401, -4}, {500, -1}}, 0, "", ""},
                 {5000, 2, 2, 9900, boutons, 5, "", ""},
                 {(1u << 31) - 3000, 16, 16, 9900, deuxBoutons, 1, "", ""},
                 {0u - 3000, 1, 1, 9900, {{1000, 1}, {4000, -1}}, 1, "", ""},
                 // The 40th frame, of half a second, across the clock's wrap.
                 {0u - 3950, 1, 500, 10300, {{1000, 1}, {1005, -1}}, 1, "", ""},
                 {60, 16, 16, 9900, {{9850, 1}, {10200, -1}}, 0, "", ""}};
    for (const auto& [debut, dureeImage, calage, duree, gestes, compte, avant, apres] : cas) {
        SCOPED_TRACE(testing::Message() << debut << ", frames of " << dureeImage << " ms");
        scenario::reinitialiser(debut);
        const std::string table = apres.empty() ? std::to_string(compte) + " 0 0 0 0" : apres;
        scenario::ecrire(FICHIER_HIGHSCORES, avant.empty() ? "0 0 0 0 0" : avant);
        for (const auto& [instant, bouton] : gestes) {
            scenario::evenement(debut + instant,
                                bouton > 0 ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP,
                                std::abs(bouton));
        }
        scenario::evenement(debut + 11000, SDL_VIDEOEXPOSE);
        std::vector<uint32_t> finies;
        // What the device plays on the first frame that shows the end, once the last clicks
        // have rung out, and on the next.
        std::vector<bool> entendu;
        uint32_t sortie = 0;
        bool mouvement = false;
        journal.surFlip = [&] {
            journal.dureeImage = journal.images.size() == 40 ? calage : dureeImage;
            mouvement |= SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY) != SDL_IGNORE;
            if (journal.images.back().textes.at(0).texte != FINI) {
                return;
            }
            finies.push_back(journal.horloge);
            EXPECT_EQ(scenario::lire(FICHIER_HIGHSCORES), table);
            const std::vector<int16_t> son = carte::rendre(0.2);
            entendu.push_back(std::any_of(son.begin() + son.size() / 2, son.end(),
                                          [](int16_t e) { return e != 0; }));
            // Escape a moment after the screen's next look at the events: the longest wait.
            sortie = journal.horloge + journal.dureeImage + 1;
            if (finies.size() == 2) {
                scenario::evenement(sortie, SDL_KEYDOWN, SDLK_ESCAPE);
            }
        };
        jouer(ecran, nullptr);

        std::vector<std::pair<uint32_t, std::string>> temps;
        for (const scenario::Image& image : journal.images) {
            if (temps.empty() || temps.back().second != image.textes.at(0).texte) {
                temps.emplace_back(image.instant, image.textes.at(0).texte);
            }
        }
        ASSERT_EQ(temps.size(), 101u);
        for (size_t i = 0; i < 100; ++i) {
            EXPECT_EQ(temps[i].second,
                      "Plus que : " + std::to_string(9900 - 100 * i) + " millisecondes");
        }
        // The first step comes at once: no frame shows the full time. Unsigned differences: an
        // instant too early fails too.
        EXPECT_EQ(std::tuple(temps[0].first, temps[100].second), std::tuple(debut, FINI));
        EXPECT_LE(temps[99].first - temps[0].first - duree, 100u);
        const auto& fin = journal.images.back().textes;
        EXPECT_EQ(std::tuple(fin.at(1).texte, fin[1].centreX, fin[1].centreY, fin[0].centreX,
                             fin[0].centreY, fin[0].ombre, fin[1].ombre, fin[1].style),
                  std::tuple("Vous avez cliqu\xE9(e) [ " + std::to_string(compte) + " ] fois !",
                             400, 300, 400, 560, true, true, TTF_STYLE_NORMAL));
        // A release is handled at the end of the frame or the 4 ms sleep it comes in.
        ASSERT_EQ(journal.joues["SFX/click.wav"].size(), size_t(compte));
        for (const uint32_t son : journal.joues["SFX/click.wav"]) {
            const auto suit = [&](const Geste& g) {
                return g.second < 0 && -g.second != SDL_BUTTON_WHEELUP &&
                       -g.second != SDL_BUTTON_WHEELDOWN &&
                       son - debut - g.first <= std::max(4u, dureeImage);
            };
            EXPECT_TRUE(std::ranges::any_of(gestes, suit)) << "a click heard at " << son - debut;
        }
        const auto finJeu = journal.joues["SFX/finJeuClickClassic.wav"];
        ASSERT_EQ(std::tuple(finies.size(), finJeu.size()), std::tuple(2u, 1u));
        EXPECT_EQ(entendu, std::vector<bool>({false, true})) << "the song or the end sound";
        EXPECT_LE(finJeu[0] - finies[0] - 1, 20u);
        EXPECT_LE(finies[1] - (debut + 11000), 20u);
        EXPECT_LE(journal.horloge - sortie, 20u);
        EXPECT_EQ(scenario::lire(FICHIER_HIGHSCORES), table);
        EXPECT_EQ(std::tuple(mouvement, SDL_EventState(SDL_MOUSEMOTION, SDL_QUERY)),
                  std::tuple(false, SDL_ENABLE));
    }
    FSOUND_Close();
    TTF_Quit();
    SDL_Quit();
}

// Without its click sound, on a sound card, a game counts its clicks in silence.
TEST_F(Jeu, AMissingClickSoundLeavesTheCountAsItIs) {
    SDL_Init(SDL_INIT_VIDEO);
    TTF_Init();
    FSOUND_Init(44100, 32, 0);
    SDL_Surface* ecran = ouvrirFenetre(800, 600);
    std::filesystem::remove("SFX/click.wav");
    scenario::reinitialiser(0);
    for (const uint32_t t : {1000u, 2000u, 3000u}) {
        scenario::evenement(t, SDL_MOUSEBUTTONDOWN);
        scenario::evenement(t + 10, SDL_MOUSEBUTTONUP);
    }
    scenario::evenement(12000, SDL_KEYDOWN, SDLK_ESCAPE);
    jouer(ecran, nullptr);
    EXPECT_EQ(scenario::lire(FICHIER_HIGHSCORES), "3 0 0 0 0");
    FSOUND_Close();
    TTF_Quit();
    SDL_Quit();
}

} // namespace
