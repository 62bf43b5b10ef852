// Music and sound effects: SDL_mixer plays the samples, a FluidSynth synthesizer of our own the
// songs.
//
// One synthesizer, kept for the whole run, renders the songs into SDL_mixer's
// mix through its music hook: SDL_mixer's own MIDI music builds a synthesizer
// and loads the SoundFont for every song on the calling thread, and resumes a
// stopped song where it stopped. Both open when a sound is first needed.
#include "audio.h"

#include "audio_midi.h"
#include "audio_pilote.h"
#include "audio_synthe.h"
#include "audio_wav.h"
#include "fichiers.h"
#include "silence.h"

#include <SDL.h>
#include <SDL_mixer.h>

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
constexpr int64_t tailleMaxMusique = 1 << 20;

// What FSOUND_Close resets. What the sound thread reads (the synthesizer, the
// player) changes only under the audio lock.
struct Etat {
    bool ouvert = false;
    bool prepare = false;
    bool peripherique = false;
    int frequence = 44100;
    Uint16 format = AUDIO_S16SYS;
    int sorties = 2;
    int canaux = canauxMax;
    Synthetiseur synthetiseur;
    fluid_player_t* lecteur = nullptr;
    const FMUSIC_MODULE* courante = nullptr;
    // When each channel's sample started, to find the oldest.
    std::array<unsigned, canauxMax> ordres{};
    unsigned compteur = 0;
};

// The one object of its kind in the program: the screens keep their state
// locally, but SDL_mixer calls the music hook on its sound thread between
// their calls, and it has to find the synthesizer there.
Etat etat;

// The audio lock, which the mixing holds (without a device, SDL ignores it).
struct Verrou {
    Verrou() {
        SDL_LockAudio();
    }
    ~Verrou() {
        SDL_UnlockAudio();
    }
};

// SDL_mixer's music hook, under the audio lock; the channels are added over
// it. The device asks for whole buffers of 512 frames, eight of FluidSynth's
// blocks: no part of one is left over when a song stops.
void rendreMusique(void*, Uint8* flux, int octets) {
    if (etat.lecteur == nullptr) {
        std::memset(flux, 0, static_cast<size_t>(octets));
        return;
    }
    auto* sortie = reinterpret_cast<int16_t*>(flux);
    fluid_synth_write_s16(etat.synthetiseur.synth, octets / 4, sortie, 0, 2, sortie, 1, 2);
}

// Opens the device and builds the synthesizer, once. Sound back-ends (ALSA
// above all) write to the error stream when they find no card, so it points
// at /dev/null meanwhile. Without a device songs load and play in silence.
void preparer() {
    if (!etat.ouvert || etat.prepare) {
        return;
    }
    etat.prepare = true;
    {
        ErreursMuettes muet;
        // Left up until SDL_Quit, which the menu calls anyway.
        etat.peripherique = ouvrirPeripherique([] {
            SDL_InitSubSystem(SDL_INIT_AUDIO);
            return Mix_OpenAudio(etat.frequence, AUDIO_S16SYS, 2, tramesTampon) == 0;
        });
    }
    if (!etat.peripherique) {
        return;
    }
    Mix_QuerySpec(&etat.frequence, &etat.format, &etat.sorties);
    Mix_AllocateChannels(etat.canaux);
    // The hook writes 16-bit stereo: another format stays silent.
    if (etat.format == AUDIO_S16SYS && etat.sorties == 2) {
        etat.synthetiseur = creerSynthetiseur(etat.frequence);
    }
    Mix_HookMusic(rendreMusique, nullptr);
}

// Silences the song at once and leaves the synthesizer as new: no note,
// controller or instrument passes to the next song. Under the audio lock.
void arreterMusique() {
    etat.courante = nullptr;
    if (etat.lecteur == nullptr) {
        return;
    }
    delete_fluid_player(etat.lecteur);
    etat.lecteur = nullptr;
    remettreANeuf(etat.synthetiseur.synth);
}

} // namespace

bool FSOUND_Init(int frequence, int canaux, unsigned int) {
    FSOUND_Close();
    etat.frequence = frequence > 0 ? frequence : 44100;
    etat.canaux = std::clamp(canaux, 1, canauxMax);
    etat.ouvert = true;
    return true;
}

void FSOUND_Close() {
    // Closing the device stops the sound thread: nothing else touches the
    // synthesizer afterwards. SDL_Quit may have closed it already.
    if (etat.peripherique) {
        Mix_HookMusic(nullptr, nullptr);
        Mix_CloseAudio();
    }
    // FluidSynth ignores null pointers.
    delete_fluid_player(etat.lecteur);
    detruireSynthetiseur(etat.synthetiseur);
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
    if (etat.synthetiseur.synth == nullptr) {
        return;
    }
    Verrou verrou;
    arreterMusique();
    // FluidSynth ignores a player it could not make (null).
    etat.lecteur = new_fluid_player(etat.synthetiseur.synth);
    etat.courante = etat.lecteur != nullptr ? musique : nullptr;
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
        const int passes = fluid_player_get_total_ticks(etat.lecteur) > 0 ? 0 : 1;
        fluid_player_set_loop(etat.lecteur, musique->boucle ? -1 : passes);
    }
}

void FMUSIC_StopSong(FMUSIC_MODULE* musique) {
    Verrou verrou;
    if (musique != nullptr && musique == etat.courante) {
        arreterMusique();
    }
}

void FMUSIC_FreeSong(FMUSIC_MODULE* musique) {
    FMUSIC_StopSong(musique);
    delete musique;
}

FSOUND_SAMPLE* FSOUND_Sample_Load(int, const char* chemin, unsigned int, int, int) {
    preparer();
    SDL_RWops* flux =
        etat.peripherique ? ouvrirWav(chemin, etat.frequence, etat.format, etat.sorties) : nullptr;
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
    if (son != nullptr) {
        // SDL_mixer silences the channels playing it first.
        Mix_FreeChunk(son->morceau);
        delete son;
    }
}
