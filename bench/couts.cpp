// What FluidSynth costs per event on the game's synthesizer, beside the song check's constants.
//
// Each cost is the CPU time of this thread over a run of events sent straight
// to the synthesizer, per event, the median of 15 runs, in the worst case the
// check allows for: 48 voices of strings sounding on the event's channel. The
// parsing is that of a whole file of one kind of event, and its freeing, as a
// loop does. Prints one line a cost: its name, what was measured (ns) and the
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

// A track of `n` copies of an event, one a tick (the first buffer sends only a few), as the
// player parses and frees it at each loop.
double lecture(const std::vector<unsigned char>& evenement, int n) {
    std::vector<unsigned char> piste;
    for (int i = 0; i < n; ++i) {
        piste.push_back(1);
        piste.insert(piste.end(), evenement.begin(), evenement.end());
    }
    piste.insert(piste.end(), {0, 0xFF, 0x2F, 0});
    std::vector<unsigned char> f = {'M', 'T', 'h', 'd', 0,    0,   0,   6,   0,
                                    0,   0,   1,   1,   0xE0, 'M', 'T', 'r', 'k'};
    for (int decalage = 24; decalage >= 0; decalage -= 8) {
        f.push_back(static_cast<unsigned char>(piste.size() >> decalage));
    }
    f.insert(f.end(), piste.begin(), piste.end());
    return mesurer(0, 1,
                   [&](int) {
                       fluid_player_t* lecteur = new_fluid_player(synth);
                       fluid_player_add_mem(lecteur, f.data(), f.size());
                       fluid_player_play(lecteur);
                       rendre();
                       delete_fluid_player(lecteur);
                   }) /
           n;
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
        {"parsing and freeing a note-off", lecture({0x8F, 0x10, 0}, 60000), coutLecture},
        {"parsing and freeing a one-letter text", lecture({0xFF, 0x01, 0x01, 'a'}, 60000),
         coutLecture * lecturesParCopie},
        {"parsing and freeing a GM reset",
         lecture({0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 60000),
         coutLecture * lecturesParCopie},
    };
    for (const auto& cout : couts) {
        std::printf("%s\t%.0f\t%.0f\n", cout.nom, cout.mesure, cout.constante);
    }
    detruireSynthetiseur(s);
    return 0;
}
