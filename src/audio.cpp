// Music and sound effects: SDL_mixer plays the samples, a FluidSynth synthesizer of our own the
// songs.
//
// SDL_mixer opens the device, converts the samples and mixes 32 channels. The
// songs go through one synthesizer kept for the whole run and rendered into
// SDL_mixer's mix by its music hook: SDL_mixer's own MIDI music builds a new
// synthesizer and loads the SoundFont for every song on the calling thread,
// and resumes a stopped song where it stopped. The device and the
// synthesizer open when a sound is first needed, after the window is up.
#include "audio.h"

#include "audio_midi.h"
#include "audio_wav.h"
#include "fichiers.h"
#include "silence.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

struct FMUSIC_MODULE {
    // The whole file, already checked: FluidSynth parses it again each time
    // the song starts or loops, on the sound thread.
    std::vector<unsigned char> octets;
    bool boucle = true;
};

struct FSOUND_SAMPLE {
    Mix_Chunk* morceau;
};

namespace {

constexpr int canauxMax = 32;
// Frames per device buffer: a click is heard within about 12 ms at 44100 Hz.
constexpr int tramesTampon = 512;
constexpr off_t tailleMaxMusique = 1 << 20;
constexpr int polyphonie = 48;

// What FSOUND_Close resets. What the sound thread reads (the synthesizer, the
// player, the current song) changes only under the audio lock.
struct Etat {
    bool ouvert = false;
    bool prepare = false;
    bool peripherique = false;
    bool sousSystemeLance = false;
    int frequence = 44100;
    Uint16 format = AUDIO_S16SYS;
    int sorties = 2;
    int canaux = canauxMax;
    fluid_settings_t* reglages = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* lecteur = nullptr;
    const FMUSIC_MODULE* courante = nullptr;
    // When each channel's sample started, to find the oldest voice.
    std::array<unsigned, canauxMax> ordres{};
    unsigned compteur = 0;
};

// The sound layer's state, the one object of its kind in the program: the
// screens keep theirs locally, but SDL_mixer calls the music hook on its
// sound thread between their calls, and it has to find the synthesizer there.
Etat etat;

// The audio lock: SDL_mixer does not mix meanwhile. Without a device there
// is nothing to lock, and SDL does nothing.
struct Verrou {
    Verrou() {
        SDL_LockAudio();
    }
    ~Verrou() {
        SDL_UnlockAudio();
    }
};

// SDL_mixer's music hook, on the sound thread under the audio lock: the song
// first, SDL_mixer adds the channels over it. The device asks for whole
// buffers of 512 frames, eight of FluidSynth's blocks: when a song stops, no
// part of a block it rendered is left over for the next song.
void rendreMusique(void*, Uint8* flux, int octets) {
    if (etat.lecteur == nullptr) {
        std::memset(flux, 0, static_cast<size_t>(octets));
        return;
    }
    auto* sortie = reinterpret_cast<int16_t*>(flux);
    fluid_synth_write_s16(etat.synth, octets / 4, sortie, 0, 2, sortie, 1, 2);
}

void rienEcrire(int, const char*, void*) {}

// Straight-line interpolation costs about two thirds of FluidSynth's
// default; a system reset brings the default back.
void interpolerLineairement() {
    fluid_synth_set_interp_method(etat.synth, -1, FLUID_INTERP_LINEAR);
}

void creerSynthetiseur() {
    etat.reglages = new_fluid_settings();
    if (etat.reglages == nullptr) {
        return;
    }
    fluid_settings_setnum(etat.reglages, "synth.sample-rate", etat.frequence);
    // Only the hook and the ten operations reach the synthesizer, always under
    // the audio lock: FluidSynth's own locking would be redundant.
    fluid_settings_setint(etat.reglages, "synth.threadsafe-api", 0);
    fluid_settings_setint(etat.reglages, "synth.lock-memory", 0);
    // Reverb and chorus cost a large share of the mixing time, and without
    // them a stopped song falls silent at once.
    fluid_settings_setint(etat.reglages, "synth.reverb.active", 0);
    fluid_settings_setint(etat.reglages, "synth.chorus.active", 0);
    // Bounds the cost of a dense passage; FluidSynth gives up the quietest
    // voices first.
    fluid_settings_setint(etat.reglages, "synth.polyphony", polyphonie);
    // The player's clock is the rendered frames: N frames always hold the
    // same part of the song.
    fluid_settings_setstr(etat.reglages, "player.timing-source", "sample");
    // A looping song carries its last notes' release into its next pass.
    fluid_settings_setint(etat.reglages, "player.reset-synth", 0);
    etat.synth = new_fluid_synth(etat.reglages);
    if (etat.synth == nullptr) {
        return;
    }
    // Without either SoundFont, songs still play, in silence.
    if (fluid_synth_sfload(etat.synth, "/usr/share/sounds/sf2/TimGM6mb.sf2", 1) == FLUID_FAILED) {
        fluid_synth_sfload(etat.synth, "/usr/share/sounds/sf2/default-GM.sf2", 1);
    }
    interpolerLineairement();
}

// Opens the device and builds the synthesizer, once, when a sound is first
// needed. Sound back-ends (ALSA above all) write to the error stream when
// they find no card, so it points at /dev/null meanwhile. Without a device
// there is nothing to build: songs load and play in silence.
void preparer() {
    if (!etat.ouvert || etat.prepare) {
        return;
    }
    etat.prepare = true;
    {
        ErreursMuettes muet;
        if (SDL_WasInit(SDL_INIT_AUDIO) == 0) {
            etat.sousSystemeLance = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        }
        etat.peripherique = Mix_OpenAudio(etat.frequence, AUDIO_S16SYS, 2, tramesTampon) == 0;
    }
    if (!etat.peripherique) {
        return;
    }
    Mix_QuerySpec(&etat.frequence, &etat.format, &etat.sorties);
    Mix_AllocateChannels(etat.canaux);
    // The hook writes 16-bit stereo: another format stays silent.
    if (etat.format == AUDIO_S16SYS && etat.sorties == 2) {
        creerSynthetiseur();
    }
    Mix_HookMusic(rendreMusique, nullptr);
}

// Silences the song at once and leaves the synthesizer as new: no note,
// controller or instrument passes to the next song. Under the audio lock.
void arreterMusique() {
    if (etat.lecteur == nullptr) {
        return;
    }
    delete_fluid_player(etat.lecteur);
    etat.lecteur = nullptr;
    etat.courante = nullptr;
    // A system reset brings back instruments and controllers but lets
    // sounding voices ring on; sounds-off, after it, cuts them.
    fluid_synth_system_reset(etat.synth);
    fluid_synth_all_sounds_off(etat.synth, -1);
    interpolerLineairement();
}

} // namespace

bool FSOUND_Init(int frequence, int canaux, unsigned int) {
    FSOUND_Close();
    // The program prints nothing: FluidSynth's messages go nowhere.
    for (int niveau = FLUID_PANIC; niveau < LAST_LOG_LEVEL; ++niveau) {
        fluid_set_log_function(niveau, rienEcrire, nullptr);
    }
    etat.frequence = frequence > 0 ? frequence : 44100;
    etat.canaux = std::clamp(canaux, 1, canauxMax);
    etat.ouvert = true;
    return true;
}

void FSOUND_Close() {
    if (!etat.ouvert) {
        return;
    }
    // Closing the device stops the sound thread: nothing else touches the
    // synthesizer afterwards. SDL_Quit may have closed it already.
    if (etat.peripherique) {
        Mix_HookMusic(nullptr, nullptr);
        Mix_CloseAudio();
    }
    if (etat.sousSystemeLance && SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (etat.lecteur != nullptr) {
        delete_fluid_player(etat.lecteur);
    }
    if (etat.synth != nullptr) {
        delete_fluid_synth(etat.synth);
    }
    if (etat.reglages != nullptr) {
        delete_fluid_settings(etat.reglages);
    }
    etat = Etat{};
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* chemin) {
    std::vector<unsigned char> octets = lireFichierRegulier(chemin, tailleMaxMusique);
    const std::optional<MesureMidi> mesure = mesurerMidi(octets.data(), octets.size());
    if (!mesure || !coutMidiAdmis(*mesure)) {
        return nullptr;
    }
    return new FMUSIC_MODULE{std::move(octets)};
}

void FMUSIC_PlaySong(FMUSIC_MODULE* musique) {
    if (musique == nullptr) {
        return;
    }
    preparer();
    if (etat.synth == nullptr) {
        return;
    }
    Verrou verrou;
    arreterMusique();
    etat.lecteur = new_fluid_player(etat.synth);
    if (etat.lecteur == nullptr) {
        return;
    }
    etat.courante = musique;
    fluid_player_add_mem(etat.lecteur, musique->octets.data(), musique->octets.size());
    fluid_player_set_loop(etat.lecteur, musique->boucle ? -1 : 1);
    fluid_player_play(etat.lecteur);
}

void FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle) {
    if (musique == nullptr) {
        return;
    }
    Verrou verrou;
    musique->boucle = boucle != 0;
    if (musique == etat.courante) {
        // The player counts the passes left, the current one included until
        // it has loaded the file (before that it holds no ticks).
        int passes = -1;
        if (!musique->boucle) {
            passes = fluid_player_get_total_ticks(etat.lecteur) > 0 ? 0 : 1;
        }
        fluid_player_set_loop(etat.lecteur, passes);
    }
}

void FMUSIC_StopSong(FMUSIC_MODULE* musique) {
    if (musique == nullptr) {
        return;
    }
    Verrou verrou;
    if (musique == etat.courante) {
        arreterMusique();
    }
}

void FMUSIC_FreeSong(FMUSIC_MODULE* musique) {
    FMUSIC_StopSong(musique);
    delete musique;
}

FSOUND_SAMPLE* FSOUND_Sample_Load(int, const char* chemin, unsigned int, int, int) {
    preparer();
    if (!etat.peripherique) {
        return nullptr;
    }
    SDL_RWops* flux = ouvrirWav(chemin, etat.frequence, etat.format, etat.sorties);
    Mix_Chunk* morceau = flux != nullptr ? Mix_LoadWAV_RW(flux, 1) : nullptr;
    return morceau != nullptr ? new FSOUND_SAMPLE{morceau} : nullptr;
}

void FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son) {
    if (son == nullptr || !etat.peripherique) {
        return;
    }
    Verrou verrou;
    int choisi = canal >= 0 && canal < etat.canaux ? canal : -1;
    for (int i = 0; i < etat.canaux && choisi < 0; ++i) {
        choisi = Mix_Playing(i) == 0 ? i : -1;
    }
    if (choisi < 0) {
        // Every channel sounds: the one that has sounded longest gives way.
        // Ages rather than orders, so the counter may wrap around.
        const auto age = [](int i) { return etat.compteur - etat.ordres[static_cast<size_t>(i)]; };
        choisi = 0;
        for (int i = 1; i < etat.canaux; ++i) {
            choisi = age(i) > age(choisi) ? i : choisi;
        }
    }
    etat.ordres[static_cast<size_t>(choisi)] = etat.compteur++;
    Mix_PlayChannel(choisi, son->morceau, 0);
}

void FSOUND_Sample_Free(FSOUND_SAMPLE* son) {
    if (son == nullptr) {
        return;
    }
    // SDL_mixer silences the channels playing it first.
    Mix_FreeChunk(son->morceau);
    delete son;
}
