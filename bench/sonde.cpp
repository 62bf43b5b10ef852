// Preloaded probe: times a program's start-up calls, counts its flips and notes its first sound.
//
// With PRESSATHON_SONDE=<path>, each wrapped call appends "name start end"
// (CLOCK_MONOTONIC seconds, comparable with Python's time.monotonic()) to
// <path>, and <path>.flips holds, in shared memory, the number of flips so
// far and the times of the first and latest one. The first sound buffer that
// holds a non-zero sample is noted as "premier_son", when its rendering ended.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fluidsynth.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Flips {
    uint64_t nombre;
    double premier;
    double dernier;
};

double maintenant() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Sonde {
    int journal = -1;
    Flips* flips = nullptr;
    bool attenteVue = false;
    // The program's own sound callback, called by ours.
    void (*rappel)(void*, Uint8*, int) = nullptr;
    bool sonEntendu = false;

    Sonde() {
        const char* chemin = std::getenv("PRESSATHON_SONDE");
        if (chemin == nullptr) {
            return;
        }
        journal = open(chemin, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const std::string cheminFlips = std::string(chemin) + ".flips";
        const int fd = open(cheminFlips.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0 && ftruncate(fd, sizeof(Flips)) == 0) {
            void* p = mmap(nullptr, sizeof(Flips), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED) {
                flips = static_cast<Flips*>(p);
            }
        }
        if (fd >= 0) {
            close(fd);
        }
        noter("chargement", maintenant(), maintenant(), "");
    }

    void noter(const char* nom, double debut, double fin, const char* detail) const {
        if (journal < 0) {
            return;
        }
        char ligne[512];
        const int n =
            std::snprintf(ligne, sizeof ligne, "%s %.6f %.6f %s\n", nom, debut, fin, detail);
        if (n > 0 &&
            write(journal, ligne, static_cast<size_t>(std::min<int>(n, sizeof ligne - 1))) < 0) {
            return;
        }
    }
};

Sonde& sonde() {
    static Sonde s;
    return s;
}

// Loaded with the program: the probe's clock starts as soon as it can.
__attribute__((constructor)) void demarrer() {
    sonde();
}

template <typename F> F suivante(const char* nom) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, nom));
}

// Calls the real function and notes how long it took.
template <typename F, typename... A>
auto chronometrer(const char* nom, const char* detail, F vraie, A... arguments) {
    const double debut = maintenant();
    auto resultat = vraie(arguments...);
    sonde().noter(nom, debut, maintenant(), detail != nullptr ? detail : "");
    return resultat;
}

// Stands between the sound device and the program's callback: the first
// buffer that is not silence is the moment the program is first heard.
void rappelEcoute(void* donnees, Uint8* flux, int octets) {
    Sonde& s = sonde();
    if (s.rappel != nullptr) {
        s.rappel(donnees, flux, octets);
    }
    if (!s.sonEntendu && std::any_of(flux, flux + octets, [](Uint8 o) { return o != 0; })) {
        s.sonEntendu = true;
        const double t = maintenant();
        s.noter("premier_son", t, t, "");
    }
}

} // namespace

extern "C" {

int SDL_Flip(SDL_Surface* ecran) {
    static const auto vraie = suivante<int (*)(SDL_Surface*)>("SDL_Flip");
    const int resultat = vraie(ecran);
    Flips* f = sonde().flips;
    if (f != nullptr) {
        const double t = maintenant();
        if (f->nombre == 0) {
            f->premier = t;
            sonde().noter("premier_flip", t, t, "");
        }
        f->dernier = t;
        __atomic_store_n(&f->nombre, f->nombre + 1, __ATOMIC_RELEASE);
    }
    return resultat;
}

int SDL_WaitEvent(SDL_Event* evenement) {
    static const auto vraie = suivante<int (*)(SDL_Event*)>("SDL_WaitEvent");
    if (!sonde().attenteVue) {
        sonde().attenteVue = true;
        const double t = maintenant();
        const int resultat = vraie(evenement);
        sonde().noter("premiere_attente", t, maintenant(), "");
        return resultat;
    }
    return vraie(evenement);
}

int SDL_Init(Uint32 drapeaux) {
    static const auto vraie = suivante<int (*)(Uint32)>("SDL_Init");
    return chronometrer("SDL_Init", nullptr, vraie, drapeaux);
}

int SDL_InitSubSystem(Uint32 drapeaux) {
    static const auto vraie = suivante<int (*)(Uint32)>("SDL_InitSubSystem");
    return chronometrer("SDL_InitSubSystem", nullptr, vraie, drapeaux);
}

int SDL_OpenAudio(SDL_AudioSpec* voulu, SDL_AudioSpec* obtenu) {
    static const auto vraie = suivante<int (*)(SDL_AudioSpec*, SDL_AudioSpec*)>("SDL_OpenAudio");
    // Silence in the program's format is zero: it mixes signed samples.
    sonde().rappel = voulu->callback;
    SDL_AudioSpec ecoute = *voulu;
    ecoute.callback = rappelEcoute;
    const int resultat = chronometrer("SDL_OpenAudio", nullptr, vraie, &ecoute, obtenu);
    // Without `obtenu`, SDL writes what it chose back into the request.
    *voulu = ecoute;
    voulu->callback = sonde().rappel;
    return resultat;
}

SDL_Surface* SDL_SetVideoMode(int largeur, int hauteur, int bits, Uint32 drapeaux) {
    static const auto vraie = suivante<SDL_Surface* (*)(int, int, int, Uint32)>("SDL_SetVideoMode");
    return chronometrer("SDL_SetVideoMode", nullptr, vraie, largeur, hauteur, bits, drapeaux);
}

SDL_Surface* IMG_Load(const char* chemin) {
    static const auto vraie = suivante<SDL_Surface* (*)(const char*)>("IMG_Load");
    return chronometrer("IMG_Load", chemin, vraie, chemin);
}

int TTF_Init() {
    static const auto vraie = suivante<int (*)()>("TTF_Init");
    return chronometrer("TTF_Init", nullptr, vraie);
}

TTF_Font* TTF_OpenFont(const char* chemin, int taille) {
    static const auto vraie = suivante<TTF_Font* (*)(const char*, int)>("TTF_OpenFont");
    return chronometrer("TTF_OpenFont", chemin, vraie, chemin, taille);
}

SDL_Surface* TTF_RenderText_Blended(TTF_Font* police, const char* texte, SDL_Color couleur) {
    static const auto vraie =
        suivante<SDL_Surface* (*)(TTF_Font*, const char*, SDL_Color)>("TTF_RenderText_Blended");
    return chronometrer("TTF_RenderText_Blended", nullptr, vraie, police, texte, couleur);
}

fluid_synth_t* new_fluid_synth(fluid_settings_t* reglages) {
    static const auto vraie = suivante<fluid_synth_t* (*)(fluid_settings_t*)>("new_fluid_synth");
    return chronometrer("new_fluid_synth", nullptr, vraie, reglages);
}

int fluid_synth_sfload(fluid_synth_t* synth, const char* chemin, int reinitialiser) {
    static const auto vraie =
        suivante<int (*)(fluid_synth_t*, const char*, int)>("fluid_synth_sfload");
    return chronometrer("fluid_synth_sfload", chemin, vraie, synth, chemin, reinitialiser);
}
}
