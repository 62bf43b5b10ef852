// Each song's slowest device buffer: one pass and the buffer where it loops, on the game's
// synthesizer.
//
//     tampons [--tous] SONG.mid...
//
// Plays each song the song check accepts (all of them with --tous, to measure
// what the check refuses) on the synthesizer the game builds, 512 frames at a
// time as the device asks for them, timing each buffer with this thread's CPU
// clock: the events sent, the voices rendered, and at the loop the parsing of
// the file again and the freeing of the last pass. Prints one line a song:
// its slowest buffer in ms, where it falls (s), the loop's buffer in ms, and
// the check's verdict; "refused" for a song not played.
#include "audio_midi.h"
#include "audio_synthe.h"

#include "temps_cpu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int frequence = 44100;
constexpr int trames = 512;

// The slowest buffer of one pass and the loop's, in seconds, and where the slowest falls.
struct Mesure {
    double pire = 0, ou = 0, boucle = 0;
};

Mesure jouer(fluid_synth_t* synth, const std::vector<char>& octets) {
    fluid_player_t* lecteur = new_fluid_player(synth);
    fluid_player_add_mem(lecteur, octets.data(), octets.size());
    fluid_player_set_loop(lecteur, -1);
    fluid_player_play(lecteur);
    int16_t tampon[2 * trames];
    Mesure m;
    int tickAvant = 0;
    // Up to the first buffer of the second pass.
    for (long i = 0;; ++i) {
        const double debut = tempsCpu();
        fluid_synth_write_s16(synth, trames, tampon, 0, 2, tampon, 1, 2);
        const double duree = tempsCpu() - debut;
        const int tick = fluid_player_get_current_tick(lecteur);
        if (duree > m.pire) {
            m.pire = duree;
            m.ou = static_cast<double>(i * trames) / frequence;
        }
        if (tick < tickAvant || fluid_player_get_status(lecteur) != FLUID_PLAYER_PLAYING) {
            m.boucle = duree;
            break;
        }
        tickAvant = tick;
    }
    delete_fluid_player(lecteur);
    remettreANeuf(synth);
    return m;
}

} // namespace

int main(int argc, char* argv[]) {
    const bool tous = argc > 1 && std::strcmp(argv[1], "--tous") == 0;
    Synthetiseur s = creerSynthetiseur(frequence);
    for (int i = tous ? 2 : 1; i < argc; ++i) {
        std::ifstream fichier(argv[i], std::ios::binary);
        const std::vector<char> octets{std::istreambuf_iterator<char>(fichier), {}};
        const auto mesure =
            mesurerMidi(reinterpret_cast<const unsigned char*>(octets.data()), octets.size());
        const bool admis = mesure && coutMidiAdmis(*mesure);
        if (!mesure || (!admis && !tous)) {
            std::printf("%s refused\n", argv[i]);
            continue;
        }
        const Mesure m = jouer(s.synth, octets);
        std::printf("%s %.3f %.1f %.3f %s\n", argv[i], 1000 * m.pire, m.ou, 1000 * m.boucle,
                    admis ? "accepted" : "refused");
        std::fflush(stdout);
    }
    detruireSynthetiseur(s);
    return 0;
}
