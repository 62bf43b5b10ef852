// What FluidSynth costs per event on the game's synthesizer, beside the song check's constants.
//
// Each cost is the CPU time of this thread over a run of events sent straight
// to the synthesizer, per event, the median of 15 runs, in the worst case the
// check allows for: 48 voices of strings sounding on the event's channel.
// (What parsing costs at a loop shows in the loop's buffer, which tampons
// times.) Prints one line a cost: its name, what was measured (ns) and the
// check's constant (ns).
#include "audio_midi.h"
#include "audio_synthe.h"

#include "temps_cpu.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

fluid_synth_t* synth = nullptr;

void rendre() {
    float tampon[512];
    fluid_synth_write_float(synth, 512, tampon, 0, 1, tampon, 0, 1);
}

// Nanoseconds per call of `envoi`, over `n` calls, with `voix` voices of strings sounding on
// channel 0 first.
double mesurer(int voix, int n, const std::function<void(int)>& envoi) {
    std::vector<double> tours;
    for (int tour = 0; tour < 15; ++tour) {
        remettreANeuf(synth);
        fluid_synth_program_change(synth, 0, 48);
        for (int k = 0; fluid_synth_get_active_voice_count(synth) < voix && k < 128; ++k) {
            fluid_synth_noteon(synth, 0, 30 + k % 60, 100);
        }
        rendre();
        const double debut = 1e9 * tempsCpu();
        for (int i = 0; i < n; ++i) {
            envoi(i);
        }
        tours.push_back((1e9 * tempsCpu() - debut) / n);
    }
    std::ranges::sort(tours);
    return tours[tours.size() / 2];
}

} // namespace

int main() {
    Synthetiseur s = creerSynthetiseur(44100);
    synth = s.synth;
    const char gm[] = {0x7E, 0x7F, 0x09, 0x01};
    const double voix = polyphonie;
    const struct {
        const char* nom;
        double mesure;
        double constante;
    } couts[] = {
        {"program change",
         mesurer(0, 400, [](int i) { fluid_synth_program_change(synth, 1, i % 128); }), coutEnvoi},
        {"note-on starting 6 voices",
         mesurer(0, 8, [](int i) { fluid_synth_noteon(synth, 0, 30 + i, 100); }), coutNote},
        {"pan change, per voice on its channel",
         mesurer(polyphonie, 400, [](int i) { fluid_synth_cc(synth, 0, 10, i % 128); }) / voix,
         coutVoix},
        {"volume change, per voice on its channel",
         mesurer(polyphonie, 400, [](int i) { fluid_synth_cc(synth, 0, 7, i % 128); }) / voix,
         coutVoix},
        {"pitch bend, per voice on its channel",
         mesurer(polyphonie, 400, [](int i) { fluid_synth_pitch_bend(synth, 0, i * 97 % 16384); }) /
             voix,
         coutVoix},
        {"reset of all controllers, per voice on its channel",
         mesurer(polyphonie, 50, [](int) { fluid_synth_cc(synth, 0, 121, 0); }) / voix,
         coutVoixRemise},
        {"GM reset",
         mesurer(polyphonie, 20,
                 [&](int) { fluid_synth_sysex(synth, gm, 4, nullptr, nullptr, nullptr, 0); }),
         coutSysex},
    };
    for (const auto& cout : couts) {
        std::printf("%s\t%.0f\t%.0f\n", cout.nom, cout.mesure, cout.constante);
    }
    detruireSynthetiseur(s);
    return 0;
}
