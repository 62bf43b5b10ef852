// A sound card of the tests' own (see carte_son.h).
#include "carte_son.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct Carte {
    carte::Mode mode = carte::Mode::virtuelle;
    void (*rappel)(void*, Uint8*, int) = nullptr;
    void* donnees = nullptr;
};

Carte& etat() {
    static Carte c;
    return c;
}

int (*const ouvrirReelle)(SDL_AudioSpec*, SDL_AudioSpec*) =
    reinterpret_cast<int (*)(SDL_AudioSpec*, SDL_AudioSpec*)>(dlsym(RTLD_NEXT, "SDL_OpenAudio"));

// SDL's device behind the tests' card is its dummy one, unless a test names
// another: no sound card is needed, and no sound is heard.
const bool piloteChoisi = setenv("SDL_AUDIODRIVER", "dummy", 0) == 0;

void taire(void*, Uint8* flux, int octets) {
    std::fill_n(flux, octets, Uint8{0});
}

} // namespace

// SDL's device is opened all the same,
// since SDL mixes samples in the format of the open device, but what its
// thread asks for is silence: the mixer's buffers are those the tests render.
extern "C" int SDL_OpenAudio(SDL_AudioSpec* voulu, SDL_AudioSpec* obtenu) {
    Carte& c = etat();
    if (c.mode == carte::Mode::absente) {
        SDL_SetError("no sound card");
        return -1;
    }
    if (c.mode == carte::Mode::virtuelle) {
        c.rappel = voulu->callback;
        c.donnees = voulu->userdata;
        voulu->callback = taire;
    }
    return ouvrirReelle(voulu, obtenu);
}

// Closing forgets the callback: what renders afterwards is silence.
extern "C" void SDL_CloseAudio() {
    static const auto fermerReelle =
        reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "SDL_CloseAudio"));
    etat().rappel = nullptr;
    fermerReelle();
}

namespace carte {

void choisir(Mode mode) {
    etat().mode = mode;
}

std::vector<int16_t> rendre(int trames) {
    constexpr int tampon = 512;
    const int tampons = (std::max(trames, 0) + tampon - 1) / tampon;
    std::vector<int16_t> sortie(2 * static_cast<size_t>(tampons * tampon));
    for (int i = 0; i < tampons && etat().rappel != nullptr; ++i) {
        etat().rappel(etat().donnees, reinterpret_cast<Uint8*>(sortie.data() + 2 * i * tampon),
                      4 * tampon);
    }
    return sortie;
}

} // namespace carte
