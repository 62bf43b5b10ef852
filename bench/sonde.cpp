// Preloaded probe: when screens show, songs and clicks are heard and the score is written.
//
// With PRESSATHON_SONDE=<path>, each note is a line "name start end [detail]"
// appended to <path>, in CLOCK_MONOTONIC seconds: Python's time.monotonic(),
// and the clock the X server stamps its events with.
//   charge   the program's libraries were loaded (the probe's constructor ran)
//   ecran    the caption changed (detail: the new caption)
//   image    the first flip after that returned
//   musique  fluid_player_play started a song
//   entendu  the first buffer after it holding a non-zero sample was mixed
//   clic     Mix_PlayChannelTimed returned at start; the buffer holding the
//            sound's first frame was mixed at end
//   ecrit    pwrite returned (the game writes its scores with it, nothing else)
#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double maintenant() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F> F suivante(const char* nom) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, nom));
}

struct Sonde {
    int journal = -1;
    // The main thread's: the caption last set, and whether a flip has shown it yet.
    char titre[128] = "";
    bool imageAttendue = false;
    // The mixer's callback, which ours calls.
    void (*rappel)(void*, Uint8*, int) = nullptr;
    // Click starts not yet mixed, kept under the audio lock.
    double debuts[256] = {};
    int enAttente = 0;
    std::atomic<bool> chansonAttendue = false;

    Sonde() {
        if (const char* chemin = std::getenv("PRESSATHON_SONDE")) {
            journal = open(chemin, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        }
    }

    // One write per line, so lines from the two threads never mix.
    void noter(const char* nom, double debut, double fin, const char* detail = "") const {
        char ligne[256];
        const int n =
            std::snprintf(ligne, sizeof ligne, "%s %.6f %.6f %s\n", nom, debut, fin, detail);
        if (journal >= 0 && n > 0) {
            [[maybe_unused]] ssize_t ecrit =
                write(journal, ligne, static_cast<size_t>(std::min<int>(n, sizeof ligne - 1)));
        }
    }
};

Sonde& sonde() {
    static Sonde s;
    return s;
}

__attribute__((constructor)) void charger() {
    const double t = maintenant();
    sonde().noter("charge", t, t);
}

// On the sound thread, under the audio lock: every start noted before this
// buffer was mixed is heard in it.
void rappelMesure(void* donnees, Uint8* flux, int octets) {
    Sonde& s = sonde();
    s.rappel(donnees, flux, octets);
    const double fin = maintenant();
    for (int i = 0; i < s.enAttente; ++i) {
        s.noter("clic", s.debuts[i], fin);
    }
    s.enAttente = 0;
    if (s.chansonAttendue && std::any_of(flux, flux + octets, [](Uint8 o) { return o != 0; })) {
        s.chansonAttendue = false;
        s.noter("entendu", fin, fin);
    }
}

} // namespace

extern "C" {

int SDL_OpenAudio(SDL_AudioSpec* voulu, SDL_AudioSpec* obtenu) {
    static const auto vraie = suivante<int (*)(SDL_AudioSpec*, SDL_AudioSpec*)>("SDL_OpenAudio");
    sonde().rappel = voulu->callback;
    voulu->callback = rappelMesure;
    const int resultat = vraie(voulu, obtenu);
    // Without `obtenu`, SDL writes what it chose back into the request.
    voulu->callback = sonde().rappel;
    return resultat;
}

// Under the audio lock, so that the start falls wholly before or after a
// buffer's mixing (the lock is recursive: the game and SDL_mixer take it too).
int Mix_PlayChannelTimed(int canal, Mix_Chunk* morceau, int boucles, int duree) {
    static const auto vraie = suivante<int (*)(int, Mix_Chunk*, int, int)>("Mix_PlayChannelTimed");
    static const auto verrouiller = suivante<void (*)()>("SDL_LockAudio");
    static const auto deverrouiller = suivante<void (*)()>("SDL_UnlockAudio");
    verrouiller();
    const int resultat = vraie(canal, morceau, boucles, duree);
    Sonde& s = sonde();
    if (resultat >= 0 && s.enAttente < 256) {
        s.debuts[s.enAttente++] = maintenant();
    }
    deverrouiller();
    return resultat;
}

int fluid_player_play(void* lecteur) {
    static const auto vraie = suivante<int (*)(void*)>("fluid_player_play");
    const int resultat = vraie(lecteur);
    const double t = maintenant();
    sonde().noter("musique", t, t);
    sonde().chansonAttendue = true;
    return resultat;
}

void SDL_WM_SetCaption(const char* titre, const char* icone) {
    static const auto vraie = suivante<void (*)(const char*, const char*)>("SDL_WM_SetCaption");
    vraie(titre, icone);
    Sonde& s = sonde();
    if (titre != nullptr && std::strncmp(titre, s.titre, sizeof s.titre) != 0) {
        std::snprintf(s.titre, sizeof s.titre, "%s", titre);
        s.imageAttendue = true;
        const double t = maintenant();
        s.noter("ecran", t, t, titre);
    }
}

int SDL_Flip(SDL_Surface* ecran) {
    static const auto vraie = suivante<int (*)(SDL_Surface*)>("SDL_Flip");
    const int resultat = vraie(ecran);
    if (sonde().imageAttendue) {
        sonde().imageAttendue = false;
        const double t = maintenant();
        sonde().noter("image", t, t);
    }
    return resultat;
}

ssize_t pwrite(int fichier, const void* octets, size_t taille, off_t position) {
    static const auto vraie = suivante<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const ssize_t resultat = vraie(fichier, octets, taille, position);
    const double t = maintenant();
    sonde().noter("ecrit", t, t);
    return resultat;
}
}
