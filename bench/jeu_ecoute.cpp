// The game, and a thread reporting when the mixer first mixed each sample voice (latence.py).
//
// Standard output gets "releveur" once, then one line per voice start: the
// CLOCK_MONOTONIC time in seconds at which its first frame was mixed. The
// thread ends, with a last look and a line "fin", when standard input ends;
// the program waits for that before it returns, so the thread never reads the
// sound layer while it closes.
#include "audio_rendu.h"
#include "main.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <thread>

namespace {

// The mixer keeps only its latest 64 starts; a look every 50 ms sees them
// all at one voice per click. A start is new when it is later than the last
// one written: the mixer notes all the starts of a buffer, which share their
// instant, under the audio lock that the reading takes too, so they are seen
// together or not at all.
void relever() {
    std::puts("releveur");
    double dernier = 0.0;
    pollfd entree{STDIN_FILENO, POLLIN, 0};
    bool fini = false;
    while (!fini) {
        if (poll(&entree, 1, 50) > 0) {
            char octets[64];
            fini = read(STDIN_FILENO, octets, sizeof octets) <= 0;
        }
        std::array<DebutVoix, 64> debuts{};
        const int nombre = audioDebutsVoix(debuts.data(), static_cast<int>(debuts.size()));
        const double precedent = dernier;
        for (int i = 0; i < nombre; ++i) {
            if (debuts[i].instant > precedent) {
                std::printf("%.6f\n", debuts[i].instant);
                dernier = debuts[i].instant;
            }
        }
        std::fflush(stdout);
    }
    std::puts("fin");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    std::thread releveur(relever);
    const int statut = SDL_main(argc, argv);
    releveur.join();
    return statut;
}
