// Music and sound effects: MIDI songs through FluidSynth, WAV samples on 32 voices, mixed for SDL.
//
// FSOUND_Init returns at once: FluidSynth, the synthesizer and its
// SoundFont, the slow part, are loaded and built on a thread of their own
// when the first song is played, and the device is opened when a sound first
// plays. A song asked to play before the synthesizer is ready starts from its
// beginning as soon as it is.
#include "audio.h"
#include "audio_fluidsynth.h"
#include "audio_midi.h"
#include "audio_rendu.h"
#include "audio_wav.h"
#include "fichiers.h"
#include "silence.h"

#include <SDL.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

struct FMUSIC_MODULE {
    // The whole file, already checked: FluidSynth parses it again each time
    // the song starts or loops, on the sound thread, where a bad file could
    // make it spin forever.
    std::vector<unsigned char> octets;
    double duree;
    bool boucle = true;
};

struct FSOUND_SAMPLE {
    // Interleaved stereo frames at the mixing rate.
    std::vector<int16_t> donnees;
    int trames;
};

namespace {

constexpr int voixMax = 32;
// Frames per device buffer: a click is heard within about 12 ms at 44100 Hz.
constexpr int tramesBloc = 512;
constexpr size_t tailleMaxMusique = 1 << 20;
constexpr int polyphonie = 48;
constexpr size_t debutsGardes = 64;

struct Voix {
    const FSOUND_SAMPLE* son;
    int position;
    unsigned ordre;
};

// What FSOUND_Close resets. Every field the sound thread reads is changed
// only under the audio lock.
struct Etat {
    bool ouvert = false;
    bool peripheriqueCherche = false;
    bool peripherique = false;
    bool sousSystemeLance = false;
    int frequence = 44100;
    int tailleTampon = 0;
    int nombreVoix = voixMax;
    // The loader thread was started; its result was taken over.
    bool chargeurLance = false;
    bool synthPris = false;
    fluid_settings_t* reglages = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* lecteur = nullptr;
    // Playing, or waiting for the synthesizer to be ready.
    const FMUSIC_MODULE* courante = nullptr;
    std::array<Voix, voixMax> voix{};
    unsigned compteurVoix = 0;
    std::array<DebutVoix, debutsGardes> debuts{};
    unsigned nombreDebuts = 0;
    // Work buffers of the mixer, so the sound thread never allocates.
    std::array<float, tramesBloc> gauche{};
    std::array<float, tramesBloc> droite{};
    std::array<int32_t, 2 * tramesBloc> somme{};
    // FluidSynth renders whole blocks of 64 frames and hands out the rest of
    // its last block on the next call; this counts frames taken from it.
    unsigned tramesSynth = 0;
};

// The thread that builds the synthesizer. It touches nothing else: it hands
// its result over through `fini`, and whoever holds the audio lock next
// takes it (see prendreSynthetiseur).
struct Chargeur {
    std::thread fil;
    std::atomic<bool> abandon{false};
    std::atomic<bool> fini{false};
    fluid_settings_t* reglages = nullptr;
    fluid_synth_t* synth = nullptr;
};

// The sound library's state, the one object of its kind in the program: the
// screens keep theirs locally, but the mixer runs on SDL's sound thread
// between their calls and has to find the synthesizer, the playing song and
// the voices somewhere.
struct Couche {
    Etat etat;
    Chargeur chargeur;
    // Loaded once, by the first loader thread, and kept to the end.
    FluidSynth fluidSynth;
    std::once_flag fluidSynthUnique;
    bool fluidSynthCharge = false;
    // attendreALaFin runs at exit.
    bool attenteEnregistree = false;
};

Couche couche;
Etat& etat = couche.etat;
Chargeur& chargeur = couche.chargeur;
// Its functions are called only with a synthesizer, player or settings in
// hand, which only exist once it is loaded.
const FluidSynth& fl = couche.fluidSynth;

// Takes the audio lock while a device may be running its callback. After
// SDL_Quit the device is gone and there is nothing to lock against.
class Verrou {
  public:
    Verrou() : actif(etat.peripherique && SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        if (actif) {
            SDL_LockAudio();
        }
    }
    ~Verrou() {
        if (actif) {
            SDL_UnlockAudio();
        }
    }
    Verrou(const Verrou&) = delete;
    Verrou& operator=(const Verrou&) = delete;

  private:
    bool actif;
};

double maintenant() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int32_t versEntier(float x) {
    return static_cast<int32_t>(std::clamp(x, -2.0f, 2.0f) * 32767.0f);
}

// Adds `n` sample values to the sum. Runs of a fixed length let the
// compiler use vector instructions even at -O2: with 32 voices sounding, the
// plain loop took about 6 % of the whole mixing time.
void ajouter(int32_t* somme, const int16_t* source, int n) {
    constexpr int pas = 16;
    int i = 0;
    for (; i + pas <= n; i += pas) {
        for (int k = 0; k < pas; ++k) {
            somme[i + k] += source[i + k];
        }
    }
    for (; i < n; ++i) {
        somme[i] += source[i];
    }
}

// Starts the current song on the synthesizer, from its beginning. Under the
// audio lock.
void demarrerLecteur() {
    etat.lecteur = fl.new_fluid_player(etat.synth);
    if (etat.lecteur == nullptr) {
        etat.courante = nullptr;
        return;
    }
    fl.fluid_player_add_mem(etat.lecteur, etat.courante->octets.data(),
                            etat.courante->octets.size());
    fl.fluid_player_set_loop(etat.lecteur, etat.courante->boucle ? -1 : 1);
    fl.fluid_player_play(etat.lecteur);
}

// Takes over the synthesizer once the loader thread has finished, and starts
// the song that was waiting for it. Under the audio lock: the sound thread
// does it too, so a waiting song starts within a buffer of the synthesizer
// being ready.
void prendreSynthetiseur() {
    if (etat.synthPris || !etat.ouvert || !chargeur.fini.load(std::memory_order_acquire)) {
        return;
    }
    etat.synthPris = true;
    etat.reglages = chargeur.reglages;
    etat.synth = chargeur.synth;
    if (etat.courante != nullptr) {
        if (etat.synth != nullptr) {
            demarrerLecteur();
        } else {
            etat.courante = nullptr;
        }
    }
}

void noterDebut(const FSOUND_SAMPLE* son, double instant) {
    etat.debuts[etat.nombreDebuts++ % debutsGardes] = DebutVoix{son, instant};
}

// `instant`: when the block's first frame was mixed.
void mixerBloc(int16_t* sortie, int trames, double instant) {
    int32_t* somme = etat.somme.data();
    const int valeurs = 2 * trames;
    if (etat.synth != nullptr && etat.courante != nullptr) {
        float* gauche = etat.gauche.data();
        float* droite = etat.droite.data();
        fl.fluid_synth_write_float(etat.synth, trames, gauche, 0, 1, droite, 0, 1);
        etat.tramesSynth += static_cast<unsigned>(trames);
        for (int i = 0; i < trames; ++i) {
            somme[2 * i] = versEntier(gauche[i]);
            somme[2 * i + 1] = versEntier(droite[i]);
        }
    } else {
        std::fill_n(somme, valeurs, 0);
    }
    for (Voix& voix : etat.voix) {
        if (voix.son == nullptr) {
            continue;
        }
        if (voix.position == 0) {
            noterDebut(voix.son, instant);
        }
        const int16_t* source = voix.son->donnees.data() + 2 * static_cast<size_t>(voix.position);
        const int prises = std::min(trames, voix.son->trames - voix.position);
        ajouter(somme, source, 2 * prises);
        voix.position += prises;
        if (voix.position >= voix.son->trames) {
            voix.son = nullptr;
        }
    }
    for (int i = 0; i < valeurs; ++i) {
        sortie[i] = static_cast<int16_t>(std::clamp(somme[i], -32768, 32767));
    }
}

void mixer(int16_t* sortie, int trames) {
    prendreSynthetiseur();
    const double debut = maintenant();
    for (int fait = 0; fait < trames;) {
        const int bloc = std::min(trames - fait, tramesBloc);
        mixerBloc(sortie + 2 * static_cast<size_t>(fait), bloc,
                  debut + static_cast<double>(fait) / etat.frequence);
        fait += bloc;
    }
}

// SDL calls this with the audio lock held.
void rappelPeripherique(void*, Uint8* flux, int octets) {
    mixer(reinterpret_cast<int16_t*>(flux), octets / 4);
}

void rienEcrire(int, const char*, void*) {}

// The program prints nothing: FluidSynth's messages go nowhere.
void taireFluidSynth() {
    for (int niveau = FLUID_PANIC; niveau < LAST_LOG_LEVEL; ++niveau) {
        fl.fluid_set_log_function(niveau, rienEcrire, nullptr);
    }
}

// Opens the sound device if there is one, on the thread of the ten
// operations: SDL's start-up is not for two threads at once, and sound
// back-ends (ALSA above all) write to the error stream from inside SDL when
// they find no card, so that stream points at /dev/null meanwhile. SDL
// converts from the mixer's format to the device's, so the synthesizer can be
// built before the device is found.
void ouvrirPeripherique() {
    ErreursMuettes muet;
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        etat.sousSystemeLance = true;
    }
    // Without a device the subsystem is left up until FSOUND_Close: quitting
    // it waits for the thread SDL's ALSA back-end starts to watch for new
    // cards, which sleeps 100 ms at a time.
    if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        SDL_AudioSpec voulu{};
        voulu.freq = etat.frequence;
        voulu.format = AUDIO_S16SYS;
        voulu.channels = 2;
        voulu.samples = tramesBloc;
        voulu.callback = rappelPeripherique;
        if (SDL_OpenAudio(&voulu, nullptr) == 0) {
            etat.tailleTampon = voulu.samples;
            etat.peripherique = true;
        }
    }
}

// The device is looked for when a sound is first played rather than in
// FSOUND_Init: the game's window opens meanwhile.
void preparerPeripherique() {
    if (!etat.ouvert || etat.peripheriqueCherche) {
        return;
    }
    etat.peripheriqueCherche = true;
    ouvrirPeripherique();
    if (etat.peripherique) {
        SDL_PauseAudio(0);
    }
}

// Straight-line interpolation costs about two thirds of FluidSynth's
// default; a system reset brings the default back.
void interpolerLineairement(fluid_synth_t* synth) {
    fl.fluid_synth_set_interp_method(synth, -1, FLUID_INTERP_LINEAR);
}

// FluidSynth, loaded by the first loader thread that needs it; false when it
// could not be.
bool chargerFluidSynthUneFois() {
    std::call_once(couche.fluidSynthUnique, [] {
        couche.fluidSynthCharge = chargerFluidSynth(couche.fluidSynth);
        if (couche.fluidSynthCharge) {
            taireFluidSynth();
        }
    });
    return couche.fluidSynthCharge;
}

// The loader thread's work: FluidSynth itself the first time, its settings,
// the synthesizer and its SoundFont, at the rate the device obtained. It
// writes only into the loader's fields, before setting `fini`, and once into
// FluidSynth's table.
void creerSynthetiseur(int frequence) {
    // The screens come first: on a busy machine this thread gives way.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    // And the caller gets a head start: the game draws its first frame right
    // after playing its first song, and this thread's work would share the
    // two processors with it (loading FluidSynth's libraries also holds the
    // dynamic loader, which drawing may need). Under Xvfb the first frame
    // comes about 15 ms sooner for it, and the song some 80 ms after it.
    for (int i = 0; i < 6 && !chargeur.abandon.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // FSOUND_Close right after FSOUND_Init need not wait for any of it.
    // Without FluidSynth, songs still play, in silence.
    fluid_settings_t* reglages =
        !chargeur.abandon.load() && chargerFluidSynthUneFois() ? fl.new_fluid_settings() : nullptr;
    fluid_synth_t* synth = nullptr;
    if (reglages != nullptr) {
        fl.fluid_settings_setnum(reglages, "synth.sample-rate", frequence);
        // Only the mixer and the ten operations reach the synthesizer, always
        // under the audio lock: FluidSynth's own locking would be redundant.
        fl.fluid_settings_setint(reglages, "synth.threadsafe-api", 0);
        fl.fluid_settings_setint(reglages, "synth.lock-memory", 0);
        // Reverb and chorus cost a large share of the mixing time, and without
        // them a stopped song falls silent at once.
        fl.fluid_settings_setint(reglages, "synth.reverb.active", 0);
        fl.fluid_settings_setint(reglages, "synth.chorus.active", 0);
        // Bounds the cost of a dense passage; FluidSynth gives up the quietest
        // voices first.
        fl.fluid_settings_setint(reglages, "synth.polyphony", polyphonie);
        // The player's clock is the rendered frames: N frames always hold the
        // same part of the song.
        fl.fluid_settings_setstr(reglages, "player.timing-source", "sample");
        // A looping song carries its last notes' release into its next pass.
        fl.fluid_settings_setint(reglages, "player.reset-synth", 0);
        synth = fl.new_fluid_synth(reglages);
    }
    if (synth != nullptr && !chargeur.abandon.load()) {
        // Without either SoundFont, songs still play, in silence.
        if (fl.fluid_synth_sfload(synth, "/usr/share/sounds/sf2/TimGM6mb.sf2", 1) == FLUID_FAILED) {
            fl.fluid_synth_sfload(synth, "/usr/share/sounds/sf2/default-GM.sf2", 1);
        }
        interpolerLineairement(synth);
    }
    chargeur.reglages = reglages;
    chargeur.synth = synth;
    chargeur.fini.store(true, std::memory_order_release);
}

// Only songs need the synthesizer: it is built when the first one is played,
// on a thread of its own, while the caller goes on (drawing its first frame,
// as the game does). It starts once the device is open: loading FluidSynth's
// libraries holds the dynamic loader, which the device's start-up needs too.
void lancerChargeur() {
    if (!etat.ouvert || etat.chargeurLance) {
        return;
    }
    etat.chargeurLance = true;
    chargeur.abandon = false;
    chargeur.fini = false;
    try {
        chargeur.fil = std::thread(creerSynthetiseur, etat.frequence);
    } catch (const std::system_error&) {
        creerSynthetiseur(etat.frequence);
    }
}

// Waits for the loader thread, if one runs. On the calling thread of the
// ten operations only.
void attendreChargeur() {
    if (chargeur.fil.joinable()) {
        chargeur.fil.join();
    }
}

// The program may end without FSOUND_Close, even while the SoundFont loads
// (a screen's file missing, the display lost): the loader is waited for
// before the libraries it uses are torn down.
void attendreALaFin() {
    chargeur.abandon = true;
    attendreChargeur();
}

// Silences the song at once and leaves the synthesizer as new: no note,
// controller or instrument passes to the next song. Under the audio lock.
void arreterMusique() {
    if (etat.lecteur != nullptr) {
        fl.delete_fluid_player(etat.lecteur);
        etat.lecteur = nullptr;
    }
    if (etat.courante != nullptr && etat.synth != nullptr) {
        // A system reset brings back instruments and controllers but lets
        // sounding voices ring on; sounds-off, after it, cuts them.
        fl.fluid_synth_system_reset(etat.synth);
        fl.fluid_synth_all_sounds_off(etat.synth, -1);
        interpolerLineairement(etat.synth);
        // What is left of the block FluidSynth rendered last still holds the
        // old song: drop it, so the next song also starts on a block boundary.
        const unsigned bloc =
            static_cast<unsigned>(fl.fluid_synth_get_internal_bufsize(etat.synth));
        const unsigned reste = (bloc - etat.tramesSynth % bloc) % bloc;
        fl.fluid_synth_write_float(etat.synth, static_cast<int>(reste), etat.gauche.data(), 0, 1,
                                   etat.droite.data(), 0, 1);
        etat.tramesSynth = 0;
    }
    etat.courante = nullptr;
}

// The whole file, read from the descriptor that was checked; nothing when it
// is larger than `tailleMax`, grows while it is read, or cannot be read.
std::optional<std::vector<unsigned char>> lireFichier(const char* chemin, size_t tailleMax) {
    off_t taille = 0;
    const int descripteur = ouvrirFichierRegulier(chemin, taille);
    if (descripteur < 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> octets;
    if (static_cast<uint64_t>(taille) <= tailleMax) {
        // One byte more than the file holds tells a file that grew meanwhile.
        octets.resize(static_cast<size_t>(taille) + 1);
    }
    size_t lus = 0;
    while (lus < octets.size()) {
        const ssize_t n = read(descripteur, octets.data() + lus, octets.size() - lus);
        if (n <= 0) {
            if (n < 0) {
                lus = octets.size();
            }
            break;
        }
        lus += static_cast<size_t>(n);
    }
    close(descripteur);
    if (octets.empty() || lus == octets.size()) {
        return std::nullopt;
    }
    octets.resize(lus);
    return octets;
}

} // namespace

bool FSOUND_Init(int frequence, int canaux, unsigned int) {
    FSOUND_Close();
    if (!couche.attenteEnregistree) {
        couche.attenteEnregistree = std::atexit(attendreALaFin) == 0;
    }
    etat.frequence = frequence > 0 ? frequence : 44100;
    etat.nombreVoix = std::clamp(canaux, 1, voixMax);
    etat.ouvert = true;
    return true;
}

void FSOUND_Close() {
    if (!etat.ouvert) {
        return;
    }
    chargeur.abandon = true;
    attendreChargeur();
    // SDL_Quit may already have closed the device; closing it stops the
    // callback, after which nothing else touches the state.
    if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        if (etat.peripherique) {
            SDL_CloseAudio();
        }
        if (etat.sousSystemeLance) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }
    etat.peripherique = false;
    prendreSynthetiseur();
    arreterMusique();
    if (etat.synth != nullptr) {
        fl.delete_fluid_synth(etat.synth);
    }
    if (etat.reglages != nullptr) {
        fl.delete_fluid_settings(etat.reglages);
    }
    etat = Etat{};
    chargeur.reglages = nullptr;
    chargeur.synth = nullptr;
    chargeur.fini = false;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* chemin) {
    std::optional<std::vector<unsigned char>> octets = lireFichier(chemin, tailleMaxMusique);
    if (!octets) {
        return nullptr;
    }
    const std::optional<MesureMidi> mesure = mesurerMidi(octets->data(), octets->size());
    if (!mesure || !coutMidiAdmis(*mesure)) {
        return nullptr;
    }
    return new FMUSIC_MODULE{std::move(*octets), mesure->duree};
}

void FMUSIC_PlaySong(FMUSIC_MODULE* musique) {
    if (musique == nullptr || !etat.ouvert) {
        return;
    }
    preparerPeripherique();
    lancerChargeur();
    Verrou verrou;
    prendreSynthetiseur();
    if (etat.synthPris && etat.synth == nullptr) {
        return;
    }
    arreterMusique();
    etat.courante = musique;
    if (etat.synth != nullptr) {
        demarrerLecteur();
    }
}

void FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle) {
    if (musique == nullptr) {
        return;
    }
    Verrou verrou;
    musique->boucle = boucle != 0;
    if (musique == etat.courante && etat.lecteur != nullptr) {
        // The player counts the passes left, the current one included until
        // it has loaded the file (before that it holds no ticks).
        int passes = -1;
        if (!musique->boucle) {
            passes = fl.fluid_player_get_total_ticks(etat.lecteur) > 0 ? 0 : 1;
        }
        fl.fluid_player_set_loop(etat.lecteur, passes);
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
    std::vector<int16_t> donnees = chargerWav(chemin, etat.frequence);
    if (donnees.empty()) {
        return nullptr;
    }
    const int trames = static_cast<int>(donnees.size() / 2);
    return new FSOUND_SAMPLE{std::move(donnees), trames};
}

void FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son) {
    if (son == nullptr || !etat.ouvert) {
        return;
    }
    preparerPeripherique();
    Verrou verrou;
    Voix* choisie = nullptr;
    if (canal >= 0 && canal < etat.nombreVoix) {
        choisie = &etat.voix[static_cast<size_t>(canal)];
    } else {
        // A free voice, or else the one that has sounded longest.
        for (int i = 0; i < etat.nombreVoix; ++i) {
            Voix& voix = etat.voix[static_cast<size_t>(i)];
            if (voix.son == nullptr) {
                choisie = &voix;
                break;
            }
            // Ages rather than orders, so the counter may wrap around.
            if (choisie == nullptr ||
                etat.compteurVoix - voix.ordre > etat.compteurVoix - choisie->ordre) {
                choisie = &voix;
            }
        }
    }
    *choisie = Voix{son, 0, etat.compteurVoix++};
}

void FSOUND_Sample_Free(FSOUND_SAMPLE* son) {
    if (son == nullptr) {
        return;
    }
    {
        Verrou verrou;
        for (Voix& voix : etat.voix) {
            if (voix.son == son) {
                voix.son = nullptr;
            }
        }
    }
    delete son;
}

void audioRendre(int16_t* sortie, int trames) {
    // However long the SoundFont takes, a render holds the same sound.
    attendreChargeur();
    Verrou verrou;
    mixer(sortie, trames);
}

int audioVoixActives() {
    Verrou verrou;
    return static_cast<int>(std::count_if(etat.voix.begin(), etat.voix.end(),
                                          [](const Voix& voix) { return voix.son != nullptr; }));
}

int audioTailleTampon() {
    preparerPeripherique();
    return etat.tailleTampon;
}

double audioDureeMusique(const FMUSIC_MODULE* musique) {
    return musique != nullptr ? musique->duree : 0.0;
}

bool audioMusiqueEnCours() {
    Verrou verrou;
    if (etat.lecteur == nullptr) {
        return etat.courante != nullptr;
    }
    return fl.fluid_player_get_status(etat.lecteur) == FLUID_PLAYER_PLAYING;
}

int audioDebutsVoix(DebutVoix* sortie, int taille) {
    Verrou verrou;
    const unsigned gardes = std::min<unsigned>(etat.nombreDebuts, debutsGardes);
    const unsigned nombre = std::min<unsigned>(gardes, static_cast<unsigned>(std::max(taille, 0)));
    for (unsigned i = 0; i < nombre; ++i) {
        sortie[i] = etat.debuts[(etat.nombreDebuts - nombre + i) % debutsGardes];
    }
    return static_cast<int>(nombre);
}
