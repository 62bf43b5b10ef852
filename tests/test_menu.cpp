// The whole program from its menu: start-up, the keys, the credits, the ways it ends, and random
// sessions.
#include "main.h"
#include "scenario.h"

#include "audio.h"
#include "ecran.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace {

class Programme : public ::testing::Test {
  protected:
    static int lancer() {
        char nom[] = "pressathon";
        char* arguments[] = {nom, nullptr};
        return SDL_main(1, arguments);
    }

    // The sound operations made on a song after its loading: the menu's
    // (loaded first), or the `rang`-th loaded.
    static std::vector<std::string> appelsMusique(size_t rang = 0) {
        std::vector<std::string> operations;
        for (const auto& appel : scenario::journal().appels) {
            if (appel.poignee == scenario::poignee("FMUSIC_LoadSong", rang) &&
                appel.operation != "FMUSIC_LoadSong") {
                operations.push_back(appel.operation);
            }
        }
        return operations;
    }

    void TearDown() override {
        EXPECT_EQ(scenario::fuites(), "") << "not released at shutdown";
    }

    scenario::Dossier dossier;
};

TEST_F(Programme, NothingIsDrawnUntilTheFirstEventThenOneFramePerEvent) {
    scenario::reinitialiser(1000);
    scenario::evenement(1500, SDL_KEYDOWN, SDLK_a);
    scenario::evenement(1600, SDL_MOUSEMOTION);
    scenario::evenement(2000, SDL_KEYDOWN, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);

    const auto& images = scenario::journal().images;
    ASSERT_GE(images.size(), 3u);
    EXPECT_EQ(images[0].instant, 1500u);
    EXPECT_EQ(images[1].instant, 1600u);
    // The welcome text, centred across and raised 265 pixels above the centre.
    const scenario::Dessin& bienvenue = scenario::journal().dessins.at(0);
    EXPECT_EQ(bienvenue.texte.texte, "Bienvenue !");
    EXPECT_FALSE(bienvenue.texte.ombre);
    EXPECT_EQ(bienvenue.texte.style, TTF_STYLE_ITALIC);
    EXPECT_EQ(bienvenue.x, 400 - bienvenue.largeur / 2);
    EXPECT_EQ(bienvenue.y, 300 - bienvenue.hauteur / 2 - 265);
}

// Escape, 4, keypad 4 and the close button all lead to the credits, which
// stay 10.1 seconds, or end within 20 ms on Escape or a close request, and the
// program then ends with status 0. The credits draw on arrival and when the
// window is uncovered, never otherwise.
TEST_F(Programme, EveryWayOutShowsTheCreditsThenEnds) {
    // The key that leaves the menu (none: a close request), what ends the
    // credits early, if anything, and when the program starts: the last
    // credits run across the clock's wrap.
    const std::tuple<int, Uint8, uint32_t> cas[] = {
        {SDLK_ESCAPE, 0, 0},      {SDLK_4, 0, 0},        {SDLK_KP4, 0, 0},      {0, 0, 0},
        {SDLK_4, SDL_KEYDOWN, 0}, {SDLK_4, SDL_QUIT, 0}, {SDLK_4, 0, 0u - 8000}};
    for (const auto& [entree, interruption, debut] : cas) {
        SCOPED_TRACE(testing::Message()
                     << "way in " << entree << ", out " << int(interruption) << ", from " << debut);
        scenario::reinitialiser(debut + 1000);
        scenario::evenement(debut + 2000, entree != 0 ? SDL_KEYDOWN : SDL_QUIT, entree);
        scenario::evenement(debut + 3000, SDL_VIDEOEXPOSE);
        uint32_t fin = debut + 2000 + 10100;
        std::vector<uint32_t> credits;
        scenario::journal().surFlip = [&](SDL_Surface*) {
            if (scenario::journal().titre != "Pressathon - CREDITS") {
                return;
            }
            credits.push_back(scenario::journal().horloge);
            // Just after the frame the uncovering asks for, a moment after
            // the next look at the events: the longest wait for an answer.
            if (interruption != 0 && credits.size() == 2) {
                fin = scenario::journal().horloge + scenario::journal().dureeImage + 1;
                scenario::evenement(fin, interruption, SDLK_ESCAPE);
            }
        };
        ASSERT_EQ(lancer(), 0);

        // Unsigned differences: an instant before its event fails too.
        ASSERT_EQ(credits.size(), 2u);
        EXPECT_EQ(credits[0], debut + 2000);
        EXPECT_LE(credits[1] - (debut + 3000), 20u);
        // The menu draws once more as the program ends.
        ASSERT_EQ(scenario::journal().images.back().titre, "Pressathon - HOME");
        EXPECT_LE(scenario::journal().images.back().instant - fin, 20u);
        EXPECT_EQ(appelsMusique(),
                  (std::vector<std::string>{"FMUSIC_PlaySong", "FMUSIC_SetLooping(1)",
                                            "FMUSIC_StopSong", "FMUSIC_FreeSong"}));
        // The credits' song plays once.
        EXPECT_EQ(appelsMusique(1),
                  (std::vector<std::string>{"FMUSIC_PlaySong", "FMUSIC_SetLooping(0)",
                                            "FMUSIC_FreeSong"}));
        EXPECT_EQ(scenario::nombreAppels("FSOUND_Close"), 1);
    }
}

TEST_F(Programme, EachScreenKeyStopsTheMenuSongAndPlaysItAgainAfter) {
    scenario::reinitialiser(1000);
    const SDLKey touches[] = {SDLK_1, SDLK_KP1, SDLK_2, SDLK_KP2, SDLK_3, SDLK_KP3, SDLK_q};
    uint32_t instant = 2000;
    for (SDLKey touche : touches) {
        scenario::evenement(instant, SDL_KEYDOWN, touche);
        // Leaves whatever screen the key opened.
        scenario::evenement(instant + 500, SDL_KEYDOWN, touche == SDLK_q ? SDLK_a : SDLK_ESCAPE);
        instant += 1000;
    }
    scenario::evenement(instant, SDL_KEYDOWN, SDLK_ESCAPE);
    scenario::evenement(instant + 100, SDL_KEYDOWN, SDLK_ESCAPE);
    ASSERT_EQ(lancer(), 0);

    std::vector<std::string> attendu = {"FMUSIC_PlaySong", "FMUSIC_SetLooping(1)"};
    for (size_t i = 0; i + 1 < std::size(touches); ++i) {
        attendu.push_back("FMUSIC_StopSong");
        attendu.push_back("FMUSIC_PlaySong");
    }
    attendu.insert(attendu.end(), {"FMUSIC_StopSong", "FMUSIC_FreeSong"});
    EXPECT_EQ(appelsMusique(), attendu);
}

TEST_F(Programme, WithoutTheMenuSongTheProgramEndsWithStatusOne) {
    scenario::reinitialiser(1000);
    std::filesystem::remove("MUSIC/menu.mid");
    scenario::evenement(2000, SDL_KEYDOWN, SDLK_ESCAPE);
    // That way out releases nothing, on purpose.
#ifdef __SANITIZE_ADDRESS__
    __lsan_disable();
#endif
    EXPECT_EQ(lancer(), 1);
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
    EXPECT_TRUE(scenario::journal().images.empty());
    EXPECT_EQ(scenario::journal().file.size(), 1u);
    // The test tidies up for the next.
    SDL_Quit();
    TTF_Quit();
    FSOUND_Close();
    scenario::fuites();
}

const std::map<std::string, std::pair<int, int>> TAILLES = {
    {"Pressathon - HOME", {800, 600}},         {"Pressathon - JOUE", {800, 600}},
    {"Pressathon - INSTRUCTIONS", {800, 600}}, {"Pressathon - HIGHSCORES", {600, 450}},
    {"Pressathon - CREDITS", {300, 500}},
};

// Random keys (the menu's, the keypad's, Escape, others), button presses and
// releases (the wheel's too), pointer motion, the window uncovered and, rarely,
// close requests.
void scriptAuHasard(std::mt19937& hasard) {
    const SDLKey touches[] = {SDLK_1,   SDLK_2,   SDLK_3,      SDLK_4, SDLK_KP1,  SDLK_KP2,
                              SDLK_KP3, SDLK_KP4, SDLK_ESCAPE, SDLK_a, SDLK_SPACE};
    const Uint8 genres[] = {SDL_KEYDOWN,     SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP,
                            SDL_MOUSEMOTION, SDL_VIDEOEXPOSE,     SDL_QUIT};
    std::discrete_distribution<> genre({24, 16, 16, 8, 4, 1});
    uint32_t instant = 1000;
    const int nombre = std::uniform_int_distribution<>(5, 120)(hasard);
    for (int i = 0; i < nombre; ++i) {
        instant += std::uniform_int_distribution<uint32_t>(0, 1500)(hasard);
        const Uint8 type = genres[genre(hasard)];
        scenario::evenement(instant, type,
                            type == SDL_KEYDOWN ? touches[hasard() % std::size(touches)]
                                                : std::uniform_int_distribution<>(1, 7)(hasard));
    }
    // Enough to leave any screen, the menu and the credits.
    for (int i = 1; i <= 3; ++i) {
        scenario::evenement(instant + 200 * static_cast<uint32_t>(i), SDL_KEYDOWN, SDLK_ESCAPE);
    }
}

TEST_F(Programme, RandomSessionsEndWellAndKeepASortedTable) {
    const char* graine = std::getenv("PRESSATHON_GRAINE");
    const unsigned depart =
        graine != nullptr ? static_cast<unsigned>(std::atol(graine)) : std::random_device{}();
    // The sessions stop at the first that fails, which a replay runs first.
    for (unsigned session = 0; session < 60 && !HasFailure(); ++session) {
        const unsigned numero = depart + session;
        SCOPED_TRACE(testing::Message() << "replay with PRESSATHON_GRAINE=" << numero);
        std::mt19937 hasard(numero);
        scenario::reinitialiser(1000);
        dossier.ecrire("highscores.tallyvault", "5 4 3 2 1");
        scriptAuHasard(hasard);
        ASSERT_EQ(lancer(), 0);

        // Each frame has the size its screen asks for; the menu's last one
        // is drawn in the credits' window.
        const auto& images = scenario::journal().images;
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

// A local X server as the game looks for it, on the abstract socket name of a
// display number nobody else uses: the game starts with the display named in
// any of the forms players' sessions use, and stops with its line when nothing
// listens there.
TEST(Fenetre, TheDisplayCheckFindsALocalServerUnderEachOfItsNames) {
    const std::string numero = std::to_string(40000 + getpid() % 20000);
    const std::string nom = "/tmp/.X11-unix/X" + numero;
    sockaddr_un adresse{};
    adresse.sun_family = AF_UNIX;
    std::copy(nom.begin(), nom.end(), adresse.sun_path + 1);
    const int serveur = socket(AF_UNIX, SOCK_STREAM, 0);
    const auto longueur = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + nom.size());
    ASSERT_EQ(bind(serveur, reinterpret_cast<sockaddr*>(&adresse), longueur), 0);
    ASSERT_EQ(listen(serveur, 8), 0);
    const std::string pilote = std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "";
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("WAYLAND_DISPLAY");
    for (const std::string& affichage :
         {":" + numero, ":" + numero + ".0", "unix:" + numero + ".1"}) {
        setenv("DISPLAY", affichage.c_str(), 1);
        EXPECT_EXIT((verifierAffichage(), std::exit(0)), testing::ExitedWithCode(0), "")
            << affichage;
    }
    close(serveur);
    EXPECT_EXIT(verifierAffichage(), testing::ExitedWithCode(1), "^Erreur Affichage: [^\n]+\n$");
    setenv("SDL_VIDEODRIVER", pilote.c_str(), 1);
}

TEST(Fenetre, AModeTheDisplayRefusesEndsTheProgramWithItsLine) {
    SDL_Init(SDL_INIT_VIDEO);
    EXPECT_EXIT(ouvrirFenetre(100000, 100000), testing::ExitedWithCode(1),
                "^Erreur Affichage: le serveur graphique refuse le mode 100000x100000\n$");
    SDL_Quit();
}

} // namespace
