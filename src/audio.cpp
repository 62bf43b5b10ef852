// Music and sound effects: MIDI songs through FluidSynth, WAV samples on 32 voices, mixed for SDL.
#include "audio.h"
#include "audio_rendu.h"

#include <SDL.h>
#include <fcntl.h>
#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
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
// FluidSynth refuses files with more tracks than this.
constexpr unsigned pistesMax = 128;
constexpr int polyphonie = 48;

struct Voix {
    const FSOUND_SAMPLE* son;
    int position;
    unsigned ordre;
};

// The sound library's state, the one object of its kind in the program: the
// screens keep theirs locally, but the mixer runs on SDL's sound thread
// between their calls and has to find the synthesizer, the playing song and
// the voices somewhere. Every field the sound thread reads is changed only
// under the audio lock.
struct Etat {
    bool ouvert = false;
    bool peripherique = false;
    bool sousSystemeLance = false;
    int frequence = 44100;
    int tailleTampon = 0;
    int nombreVoix = voixMax;
    fluid_settings_t* reglages = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* lecteur = nullptr;
    const FMUSIC_MODULE* courante = nullptr;
    std::array<Voix, voixMax> voix{};
    unsigned compteurVoix = 0;
    // Work buffers of the mixer, so the sound thread never allocates.
    std::array<float, tramesBloc> gauche{};
    std::array<float, tramesBloc> droite{};
    std::array<int32_t, 2 * tramesBloc> somme{};
    // FluidSynth renders whole blocks of 64 frames and hands out the rest of
    // its last block on the next call; this counts frames taken from it.
    unsigned tramesSynth = 0;
};

Etat etat;

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

void mixerBloc(int16_t* sortie, int trames) {
    int32_t* somme = etat.somme.data();
    const int valeurs = 2 * trames;
    if (etat.synth != nullptr && etat.courante != nullptr) {
        float* gauche = etat.gauche.data();
        float* droite = etat.droite.data();
        fluid_synth_write_float(etat.synth, trames, gauche, 0, 1, droite, 0, 1);
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
    while (trames > 0) {
        const int bloc = std::min(trames, tramesBloc);
        mixerBloc(sortie, bloc);
        sortie += 2 * bloc;
        trames -= bloc;
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
        fluid_set_log_function(niveau, rienEcrire, nullptr);
    }
}

// Opens the sound device if there is one. Sound back-ends (ALSA above all)
// write to the error stream from inside SDL when they find no card, so that
// stream points at /dev/null meanwhile.
void ouvrirPeripherique() {
    std::fflush(stderr);
    const int erreurs = dup(STDERR_FILENO);
    const int nul = open("/dev/null", O_WRONLY);
    if (erreurs >= 0 && nul >= 0) {
        dup2(nul, STDERR_FILENO);
    }

    if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        etat.sousSystemeLance = true;
    }
    if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        SDL_AudioSpec voulu{};
        voulu.freq = etat.frequence;
        voulu.format = AUDIO_S16SYS;
        voulu.channels = 2;
        voulu.samples = tramesBloc;
        voulu.callback = rappelPeripherique;
        SDL_AudioSpec obtenu{};
        if (SDL_OpenAudio(&voulu, &obtenu) == 0) {
            if (obtenu.format == AUDIO_S16SYS && obtenu.channels == 2 && obtenu.freq > 0) {
                etat.frequence = obtenu.freq;
                etat.tailleTampon = obtenu.samples;
                etat.peripherique = true;
            } else {
                // Let SDL convert from our format rather than mixing in another.
                SDL_CloseAudio();
                if (SDL_OpenAudio(&voulu, nullptr) == 0) {
                    etat.tailleTampon = voulu.samples;
                    etat.peripherique = true;
                }
            }
        }
        // Without a device the subsystem is left up until FSOUND_Close:
        // quitting it waits for the thread SDL's ALSA back-end starts to
        // watch for new cards, which sleeps 100 ms at a time, and that wait
        // was the largest part of the program's start-up.
    }

    if (erreurs >= 0) {
        dup2(erreurs, STDERR_FILENO);
        close(erreurs);
    }
    if (nul >= 0) {
        close(nul);
    }
}

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
    // Only the mixer and the ten operations reach the synthesizer, always
    // under the audio lock: FluidSynth's own locking would be redundant.
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

// Silences the song at once and leaves the synthesizer as new: no note,
// controller or instrument passes to the next song. Under the audio lock.
void arreterMusique() {
    if (etat.lecteur != nullptr) {
        delete_fluid_player(etat.lecteur);
        etat.lecteur = nullptr;
    }
    if (etat.courante != nullptr && etat.synth != nullptr) {
        // A system reset brings back instruments and controllers but lets
        // sounding voices ring on; sounds-off, after it, cuts them.
        fluid_synth_system_reset(etat.synth);
        fluid_synth_all_sounds_off(etat.synth, -1);
        interpolerLineairement();
        // What is left of the block FluidSynth rendered last still holds the
        // old song: drop it, so the next song also starts on a block boundary.
        const unsigned bloc = static_cast<unsigned>(fluid_synth_get_internal_bufsize(etat.synth));
        const unsigned reste = (bloc - etat.tramesSynth % bloc) % bloc;
        fluid_synth_write_float(etat.synth, static_cast<int>(reste), etat.gauche.data(), 0, 1,
                                etat.droite.data(), 0, 1);
        etat.tramesSynth = 0;
    }
    etat.courante = nullptr;
}

uint32_t lire32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

unsigned lire16(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) << 8 | p[1];
}

struct Curseur {
    const unsigned char* p;
    const unsigned char* fin;

    bool octet(unsigned& valeur) {
        if (p == fin) {
            return false;
        }
        valeur = *p++;
        return true;
    }
    // At most four bytes, as FluidSynth reads them.
    bool nombreVariable(uint32_t& valeur) {
        valeur = 0;
        for (int i = 0; i < 4; ++i) {
            unsigned c = 0;
            if (!octet(c)) {
                return false;
            }
            valeur = valeur << 7 | (c & 0x7F);
            if ((c & 0x80) == 0) {
                return true;
            }
        }
        return false;
    }
    bool sauter(uint32_t n) {
        if (n > static_cast<size_t>(fin - p)) {
            return false;
        }
        p += n;
        return true;
    }
};

struct ChangementTempo {
    uint64_t tick;
    uint32_t microsecondes;
};

// Meta events whose length FluidSynth checks, with that length.
bool longueurMetaAdmise(unsigned type, uint32_t longueur) {
    switch (type) {
    case 0x2F:
        return longueur == 0;
    case 0x51:
        return longueur == 3;
    case 0x54:
        return longueur == 5;
    case 0x58:
        return longueur == 4;
    case 0x59:
        return longueur == 2;
    default:
        return true;
    }
}

// Walks one track chunk; `fin` receives the tick of its last event that the
// player keeps (notes, controllers, sysex, text, tempo, end of track).
bool verifierPiste(Curseur c, std::vector<ChangementTempo>& tempos, uint64_t& fin) {
    uint64_t tick = 0;
    unsigned statut = 0;
    fin = 0;
    while (c.p != c.fin) {
        uint32_t delta = 0;
        unsigned octet = 0;
        if (!c.nombreVariable(delta) || !c.octet(octet)) {
            return false;
        }
        tick += delta;
        if (tick > 0x7FFFFFFF) {
            return false;
        }
        if (octet == 0xFF) {
            statut = 0;
            unsigned type = 0;
            uint32_t longueur = 0;
            if (!c.octet(type) || !c.nombreVariable(longueur) ||
                !longueurMetaAdmise(type, longueur)) {
                return false;
            }
            const unsigned char* donnees = c.p;
            if (!c.sauter(longueur)) {
                return false;
            }
            if (type == 0x51) {
                const uint32_t tempo = static_cast<uint32_t>(donnees[0]) << 16 |
                                       static_cast<uint32_t>(donnees[1]) << 8 | donnees[2];
                if (tempo == 0) {
                    return false;
                }
                tempos.push_back({tick, tempo});
            }
            if (type == 0x2F || type == 0x51 || type == 0x01 || type == 0x05) {
                fin = tick;
            }
            if (type == 0x2F) {
                // What follows the end of the track inside its chunk is skipped.
                return true;
            }
        } else if (octet == 0xF0) {
            statut = 0;
            uint32_t longueur = 0;
            if (!c.nombreVariable(longueur) || !c.sauter(longueur)) {
                return false;
            }
            if (longueur > 0) {
                fin = tick;
            }
        } else if (octet > 0xF0) {
            return false;
        } else {
            unsigned premier = octet;
            if ((octet & 0x80) != 0) {
                statut = octet;
                if (!c.octet(premier)) {
                    return false;
                }
            } else if (statut == 0) {
                return false;
            }
            const unsigned type = statut & 0xF0;
            unsigned second = 0;
            if (type != 0xC0 && type != 0xD0 && !c.octet(second)) {
                return false;
            }
            if (((premier | second) & 0x80) != 0) {
                return false;
            }
            fin = tick;
        }
    }
    return true;
}

// The song's length in seconds, or nothing when FluidSynth could not play
// the file or would loop over it without time passing.
std::optional<double> verifierMidi(const std::vector<unsigned char>& octets) {
    const unsigned char* d = octets.data();
    if (octets.size() < 14 || std::memcmp(d, "MThd", 4) != 0 || lire32(d + 4) != 6) {
        return std::nullopt;
    }
    const unsigned format = lire16(d + 8);
    const unsigned pistes = lire16(d + 10);
    const unsigned division = lire16(d + 12);
    // A negative division means SMPTE time, which FluidSynth does not play.
    if (format > 2 || pistes == 0 || pistes > pistesMax || division == 0 ||
        (division & 0x8000) != 0) {
        return std::nullopt;
    }

    // FluidSynth expects the track chunks one after another; trailing bytes
    // are ignored.
    Curseur c{d + 14, d + octets.size()};
    std::vector<ChangementTempo> tempos;
    uint64_t fin = 0;
    for (unsigned piste = 0; piste < pistes; ++piste) {
        const unsigned char* entete = c.p;
        if (!c.sauter(8) || std::memcmp(entete, "MTrk", 4) != 0) {
            return std::nullopt;
        }
        const uint32_t longueur = lire32(entete + 4);
        const Curseur morceau{c.p, c.p + std::min<size_t>(longueur, c.fin - c.p)};
        uint64_t finPiste = 0;
        if (!c.sauter(longueur) || !verifierPiste(morceau, tempos, finPiste)) {
            return std::nullopt;
        }
        fin = std::max(fin, finPiste);
    }
    if (fin == 0) {
        return std::nullopt;
    }

    std::stable_sort(
        tempos.begin(), tempos.end(),
        [](const ChangementTempo& a, const ChangementTempo& b) { return a.tick < b.tick; });
    double secondes = 0.0;
    uint64_t tick = 0;
    uint32_t tempo = 500000;
    for (const ChangementTempo& changement : tempos) {
        if (changement.tick >= fin) {
            break;
        }
        secondes += static_cast<double>(changement.tick - tick) * tempo / 1e6 / division;
        tick = changement.tick;
        tempo = changement.microsecondes;
    }
    secondes += static_cast<double>(fin - tick) * tempo / 1e6 / division;
    return secondes;
}

std::optional<std::vector<unsigned char>> lireFichier(const char* chemin, size_t tailleMax) {
    std::FILE* fichier = std::fopen(chemin, "rb");
    if (fichier == nullptr) {
        return std::nullopt;
    }
    std::vector<unsigned char> octets(tailleMax + 1);
    const size_t lus = std::fread(octets.data(), 1, octets.size(), fichier);
    const bool erreur = std::ferror(fichier) != 0;
    std::fclose(fichier);
    if (erreur || lus > tailleMax) {
        return std::nullopt;
    }
    octets.resize(lus);
    return octets;
}

} // namespace

bool FSOUND_Init(int frequence, int canaux, unsigned int) {
    FSOUND_Close();
    taireFluidSynth();
    etat.frequence = frequence > 0 ? frequence : 44100;
    etat.nombreVoix = std::clamp(canaux, 1, voixMax);
    // The device first: the synthesizer renders at the rate it obtained.
    ouvrirPeripherique();
    creerSynthetiseur();
    etat.ouvert = true;
    if (etat.peripherique) {
        SDL_PauseAudio(0);
    }
    return true;
}

void FSOUND_Close() {
    if (!etat.ouvert) {
        return;
    }
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
    arreterMusique();
    if (etat.synth != nullptr) {
        delete_fluid_synth(etat.synth);
    }
    if (etat.reglages != nullptr) {
        delete_fluid_settings(etat.reglages);
    }
    etat = Etat{};
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* chemin) {
    if (chemin == nullptr) {
        return nullptr;
    }
    std::optional<std::vector<unsigned char>> octets = lireFichier(chemin, tailleMaxMusique);
    if (!octets) {
        return nullptr;
    }
    const std::optional<double> duree = verifierMidi(*octets);
    if (!duree) {
        return nullptr;
    }
    return new FMUSIC_MODULE{std::move(*octets), *duree};
}

void FMUSIC_PlaySong(FMUSIC_MODULE* musique) {
    if (musique == nullptr || etat.synth == nullptr) {
        return;
    }
    Verrou verrou;
    arreterMusique();
    etat.lecteur = new_fluid_player(etat.synth);
    if (etat.lecteur == nullptr) {
        return;
    }
    fluid_player_add_mem(etat.lecteur, musique->octets.data(), musique->octets.size());
    fluid_player_set_loop(etat.lecteur, musique->boucle ? -1 : 1);
    fluid_player_play(etat.lecteur);
    etat.courante = musique;
}

void FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle) {
    if (musique == nullptr) {
        return;
    }
    musique->boucle = boucle != 0;
    Verrou verrou;
    if (musique == etat.courante && etat.lecteur != nullptr) {
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
    if (chemin == nullptr) {
        return nullptr;
    }
    SDL_AudioSpec format{};
    Uint8* tampon = nullptr;
    Uint32 longueur = 0;
    if (SDL_LoadWAV(chemin, &format, &tampon, &longueur) == nullptr) {
        return nullptr;
    }
    SDL_AudioCVT conversion{};
    const int construite = SDL_BuildAudioCVT(&conversion, format.format, format.channels,
                                             format.freq, AUDIO_S16SYS, 2, etat.frequence);
    std::vector<Uint8> octets;
    if (construite >= 0) {
        octets.resize(static_cast<size_t>(longueur) *
                      static_cast<size_t>(std::max(conversion.len_mult, 1)));
        std::memcpy(octets.data(), tampon, longueur);
    }
    SDL_FreeWAV(tampon);
    if (construite < 0) {
        return nullptr;
    }
    size_t taille = longueur;
    if (conversion.needed != 0) {
        conversion.buf = octets.data();
        conversion.len = static_cast<int>(longueur);
        if (SDL_ConvertAudio(&conversion) != 0) {
            return nullptr;
        }
        taille = static_cast<size_t>(conversion.len_cvt);
    }
    const size_t trames = taille / 4;
    if (trames == 0) {
        return nullptr;
    }
    auto* son = new FSOUND_SAMPLE{std::vector<int16_t>(2 * trames), static_cast<int>(trames)};
    std::memcpy(son->donnees.data(), octets.data(), 4 * trames);
    return son;
}

void FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son) {
    if (son == nullptr || !etat.ouvert) {
        return;
    }
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
    Verrou verrou;
    mixer(sortie, trames);
}

int audioVoixActives() {
    Verrou verrou;
    return static_cast<int>(std::count_if(etat.voix.begin(), etat.voix.end(),
                                          [](const Voix& voix) { return voix.son != nullptr; }));
}

int audioTailleTampon() {
    return etat.tailleTampon;
}

double audioDureeMusique(const FMUSIC_MODULE* musique) {
    return musique != nullptr ? musique->duree : 0.0;
}

bool audioMusiqueEnCours() {
    Verrou verrou;
    return etat.lecteur != nullptr && fluid_player_get_status(etat.lecteur) == FLUID_PLAYER_PLAYING;
}
