// The sound driver on Linux: SDL's PipeWire driver when a PipeWire server is ready to play.
//
// On a desktop that runs PipeWire (Debian's GNOME), SDL 2 picks its PulseAudio
// driver, and the sound goes through PipeWire's PulseAudio emulation. Its own
// PipeWire driver, given a node latency of 256 frames (SDL asks for one whole
// device buffer, 512, with which the graph runs 512-frame cycles at 48 kHz),
// brings each click about 10 ms sooner, measured, while SDL still calls the
// mixer back with 512-frame buffers. That driver waits for ever when no
// session manager links its stream, or no sink plays it: libpipewire asks the
// server first, within a fifth of a second.
#include "audio_pilote.h"

#include <SDL.h>
#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr const char* latence = "256/44100";
constexpr int64_t delaiNs = 200'000'000;

// Whether PipeWire's socket is there at all, where libpipewire looks for it:
// on a machine without PipeWire, nothing more is asked.
bool prise() {
    const char* distante = std::getenv("PIPEWIRE_REMOTE");
    if (distante != nullptr && distante[0] == '/') {
        return true;
    }
    std::string dossier;
    for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
        const char* valeur = std::getenv(variable);
        if (dossier.empty() && valeur != nullptr) {
            dossier = valeur;
        }
    }
    const std::string chemin = dossier + "/" + (distante != nullptr ? distante : "pipewire-0");
    struct stat etat;
    return !dossier.empty() && stat(chemin.c_str(), &etat) == 0;
}

// What the server's registry shows: the session manager's default metadata,
// and a node to play to.
struct Registre {
    pw_main_loop* boucle;
    int attendu = -1;
    bool gestionnaire = false, sortie = false;
};

bool vaut(const spa_dict* proprietes, const char* cle, const char* valeur) {
    const char* lue = proprietes != nullptr ? spa_dict_lookup(proprietes, cle) : nullptr;
    return lue != nullptr && std::strcmp(lue, valeur) == 0;
}

void global(void* donnees, uint32_t, uint32_t, const char* type, uint32_t,
            const spa_dict* proprietes) {
    auto* r = static_cast<Registre*>(donnees);
    r->gestionnaire |= std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 &&
                       vaut(proprietes, PW_KEY_METADATA_NAME, "default");
    r->sortie |= std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0 &&
                 vaut(proprietes, PW_KEY_MEDIA_CLASS, "Audio/Sink");
}

void fait(void* donnees, uint32_t id, int sequence) {
    auto* r = static_cast<Registre*>(donnees);
    if (id == PW_ID_CORE && sequence == r->attendu) {
        pw_main_loop_quit(r->boucle);
    }
}

void erreur(void* donnees, uint32_t, int, int, const char*) {
    pw_main_loop_quit(static_cast<Registre*>(donnees)->boucle);
}

void finir(void* donnees, uint64_t) {
    pw_main_loop_quit(static_cast<pw_main_loop*>(donnees));
}

// Every global the server has, then its answer to a sync: all of them are
// known. A server that answers nothing is given up at the deadline.
bool pipewirePret() {
    pw_init(nullptr, nullptr);
    Registre r{pw_main_loop_new(nullptr)};
    pw_loop* boucle = pw_main_loop_get_loop(r.boucle);
    pw_context* contexte = pw_context_new(boucle, nullptr, 0);
    pw_core* coeur = contexte != nullptr ? pw_context_connect(contexte, nullptr, 0) : nullptr;
    if (coeur != nullptr) {
        pw_registry_events registre{};
        registre.version = PW_VERSION_REGISTRY_EVENTS;
        registre.global = global;
        pw_core_events evenements{};
        evenements.version = PW_VERSION_CORE_EVENTS;
        evenements.done = fait;
        evenements.error = erreur;
        pw_registry* globaux = pw_core_get_registry(coeur, PW_VERSION_REGISTRY, 0);
        spa_hook ecouteRegistre{}, ecouteCoeur{};
        pw_registry_add_listener(globaux, &ecouteRegistre, &registre, &r);
        pw_core_add_listener(coeur, &ecouteCoeur, &evenements, &r);
        r.attendu = pw_core_sync(coeur, PW_ID_CORE, 0);
        spa_source* minuterie = pw_loop_add_timer(boucle, finir, r.boucle);
        timespec delai = {0, delaiNs};
        pw_loop_update_timer(boucle, minuterie, &delai, nullptr, false);
        pw_main_loop_run(r.boucle);
        pw_loop_destroy_source(boucle, minuterie);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(globaux));
        pw_core_disconnect(coeur);
    }
    if (contexte != nullptr) {
        pw_context_destroy(contexte);
    }
    pw_main_loop_destroy(r.boucle);
    return r.gestionnaire && r.sortie;
}

} // namespace

bool ouvrirPeripherique(bool (*ouvrir)()) {
    if (std::getenv("SDL_AUDIODRIVER") != nullptr || !prise() || !pipewirePret()) {
        return ouvrir();
    }
    // A latency the player set is theirs. SDL and libpipewire read the
    // variables while the device opens: afterwards the environment is the
    // player's again.
    const bool latenceChoisie = std::getenv("PIPEWIRE_LATENCY") == nullptr;
    setenv("SDL_AUDIODRIVER", "pipewire", 1);
    if (latenceChoisie) {
        setenv("PIPEWIRE_LATENCY", latence, 1);
    }
    const bool ouvert = ouvrir();
    unsetenv("SDL_AUDIODRIVER");
    if (latenceChoisie) {
        unsetenv("PIPEWIRE_LATENCY");
    }
    if (ouvert) {
        return true;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return ouvrir();
}
