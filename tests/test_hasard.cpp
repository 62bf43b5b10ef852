// Whole sessions of random input on the virtual clock: every screen, every way in and out.
#include "main.h"
#include "scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <sstream>

namespace {

const std::map<std::string, std::pair<int, int>> TAILLES = {
    {"Pressathon - HOME", {800, 600}},         {"Pressathon - JOUE", {800, 600}},
    {"Pressathon - INSTRUCTIONS", {800, 600}}, {"Pressathon - HIGHSCORES", {600, 450}},
    {"Pressathon - CREDITS", {300, 500}},
};

// Random keys (the menu's, the keypad's, Escape, others), button presses and
// releases (the wheel's too), pointer motion and close requests.
void scriptAuHasard(std::mt19937& hasard) {
    const SDLKey touches[] = {SDLK_1,   SDLK_2,   SDLK_3,      SDLK_4, SDLK_KP1,  SDLK_KP2,
                              SDLK_KP3, SDLK_KP4, SDLK_ESCAPE, SDLK_a, SDLK_SPACE};
    uint32_t instant = 1000;
    const int nombre = std::uniform_int_distribution<>(5, 120)(hasard);
    for (int i = 0; i < nombre; ++i) {
        instant += std::uniform_int_distribution<uint32_t>(0, 1500)(hasard);
        const int bouton = std::uniform_int_distribution<>(1, 7)(hasard);
        switch (std::uniform_int_distribution<>(0, 9)(hasard)) {
        case 0:
        case 1:
        case 2:
            scenario::touche(instant, touches[hasard() % std::size(touches)]);
            break;
        case 3:
        case 4:
            scenario::appui(instant, bouton);
            break;
        case 5:
        case 6:
            scenario::relache(instant, bouton);
            break;
        case 7:
            scenario::mouvement(instant);
            break;
        default:
            if (hasard() % 8 == 0) {
                scenario::fermeture(instant);
            }
        }
    }
    // Enough to leave any screen, the menu and the credits.
    for (int i = 1; i <= 3; ++i) {
        scenario::touche(instant + 200 * static_cast<uint32_t>(i), SDLK_ESCAPE);
    }
}

TEST(Hasard, RandomSessionsEndWellAndKeepASortedTable) {
    const char* graine = std::getenv("PRESSATHON_GRAINE");
    const unsigned depart =
        graine != nullptr ? static_cast<unsigned>(std::atol(graine)) : std::random_device{}();
    const int sessions = std::getenv("PRESSATHON_SESSIONS") != nullptr
                             ? std::atoi(std::getenv("PRESSATHON_SESSIONS"))
                             : 60;
    scenario::Dossier dossier;
    for (int session = 0; session < sessions && !HasFailure(); ++session) {
        const unsigned numero = depart + static_cast<unsigned>(session);
        SCOPED_TRACE(testing::Message()
                     << "replay with PRESSATHON_GRAINE=" << numero << " PRESSATHON_SESSIONS=1");
        std::mt19937 hasard(numero);
        scenario::reinitialiser(1000);
        dossier.ecrire("highscores.tallyvault", "5 4 3 2 1");
        scriptAuHasard(hasard);
        char nom[] = "pressathon";
        char* arguments[] = {nom, nullptr};
        ASSERT_EQ(SDL_main(1, arguments), 0);

        // Each frame has the size its screen asks for; the menu's last one
        // is drawn in the credits' window.
        const auto& images = scenario::images();
        for (size_t i = 0; i + 1 < images.size(); ++i) {
            EXPECT_EQ(TAILLES.at(images[i].titre),
                      std::make_pair(images[i].largeur, images[i].hauteur))
                << images[i].titre;
        }

        std::istringstream fichier(dossier.lire("highscores.tallyvault"));
        int32_t table[5];
        for (int32_t& entree : table) {
            ASSERT_TRUE(fichier >> entree);
        }
        EXPECT_TRUE(std::is_sorted(std::begin(table), std::end(table), std::greater<>()));
    }
}

} // namespace
