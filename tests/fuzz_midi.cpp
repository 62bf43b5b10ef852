// Fuzz target for the song check: a song it accepts is one FluidSynth's player loads with the
// same length, and playing it never sends more events in a buffer than the check foresaw.
//
// A libFuzzer target, built and run by scripts/fuzz.sh. The synthesizer has no SoundFont: the
// events are counted, not heard.
#include "audio_midi.h"
#include "fichiers_audio.h"

#include <fluidsynth.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int frequence = 44100;
constexpr int tramesTampon = 512;

struct Banc {
    fluid_synth_t* synth = nullptr;
    // Events sent during the current buffer, a sysex counting as the check counts it.
    size_t envoyes = 0;
};

Banc& banc() {
    static Banc b;
    return b;
}

int compter(void*, fluid_midi_event_t* evenement) {
    banc().envoyes += fluid_midi_event_get_type(evenement) == 0xF0 ? poidsSysex : 1;
    return fluid_synth_handle_midi_event(banc().synth, evenement);
}

void verifier(bool tenu, const char* quoi, double mesure, double prevu) {
    if (!tenu) {
        std::fprintf(stderr, "\n%s: %g, the check foresaw %g\n", quoi, mesure, prevu);
        std::abort();
    }
}

} // namespace

// Seeds that random mutation rarely reaches: songs at the check's limits,
// and a tempo that races before a slow one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (int niveau = FLUID_PANIC; niveau < LAST_LOG_LEVEL; ++niveau) {
        fluid_set_log_function(niveau, nullptr, nullptr);
    }
    fluid_settings_t* reglages = new_fluid_settings();
    fluid_settings_setnum(reglages, "synth.sample-rate", frequence);
    fluid_settings_setstr(reglages, "player.timing-source", "sample");
    fluid_settings_setint(reglages, "player.reset-synth", 0);
    banc().synth = new_fluid_synth(reglages);
    if (const char* dossier = std::getenv("PRESSATHON_FUZZ_GRAINES")) {
        const std::pair<const char*, Octets> graines[] = {{"notes", morceauLimite(Limite::notes)},
                                                          {"sysex", morceauLimite(Limite::sysex)},
                                                          {"boucle", morceauLimite(Limite::boucle)},
                                                          {"tempo", morceauTempoQuiCourt(50)}};
        for (const auto& [nom, octets] : graines) {
            std::ofstream(std::string(dossier) + "/" + nom + ".mid", std::ios::binary)
                .write(reinterpret_cast<const char*>(octets.data()),
                       static_cast<std::streamsize>(octets.size()));
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    // Only files the check accepts reach the player: it may spin on the others.
    const std::optional<MesureMidi> mesure = mesurerMidi(donnees, taille);
    if (!mesure || mesure->evenements > evenementsMaxMusique) {
        return 0;
    }
    Banc& b = banc();
    fluid_player_t* lecteur = new_fluid_player(b.synth);
    fluid_player_set_playback_callback(lecteur, compter, nullptr);
    fluid_player_add_mem(lecteur, donnees, taille);
    fluid_player_set_loop(lecteur, -1);
    fluid_player_play(lecteur);

    // Of the songs the game refuses, only the length is compared. The others
    // play for two passes or two seconds; a buffer where a pass starts may
    // also hold the end of the last one.
    const bool admis = coutMidiAdmis(*mesure);
    const int tampons =
        admis ? static_cast<int>(std::min(2.0, 2 * mesure->duree + 0.1) * frequence / tramesTampon)
              : 1;
    const double dureeTampon = tramesTampon / static_cast<double>(frequence);
    float gauche[tramesTampon];
    float droite[tramesTampon];
    int tickAvant = 0;
    int tamponsDeLaPasse = 0;
    for (int i = 0; i < tampons; ++i) {
        b.envoyes = 0;
        fluid_synth_write_float(b.synth, tramesTampon, gauche, 0, 1, droite, 0, 1);
        const int longueur = fluid_player_get_total_ticks(lecteur);
        verifier(longueur == static_cast<int>(mesure->dernierTick), "FluidSynth's length in ticks",
                 longueur, mesure->dernierTick);
        const int tick = fluid_player_get_current_tick(lecteur);
        const bool nouvellePasse = i == 0 || tick < tickAvant;
        tickAvant = tick;
        if (nouvellePasse && i > 0) {
            // Seen a buffer at a time: each end of the pass may fall anywhere in one.
            verifier((tamponsDeLaPasse + 2) * dureeTampon + 0.002 >= mesure->passeMin,
                     "a pass lasted at least (s)", tamponsDeLaPasse * dureeTampon,
                     mesure->passeMin);
            tamponsDeLaPasse = 0;
        }
        ++tamponsDeLaPasse;
        verifier(!admis || b.envoyes <= (nouvellePasse ? 2 : 1) * mesure->rafaleMax,
                 "events sent in one buffer", static_cast<double>(b.envoyes),
                 static_cast<double>(mesure->rafaleMax));
    }
    delete_fluid_player(lecteur);
    fluid_synth_system_reset(b.synth);
    return 0;
}
