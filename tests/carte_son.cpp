// A sound card of the tests' own (see carte_son.h).
#include "carte_son.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

bool presente = true;
int frequenceCarte = 44100;
void (*rappel)(void*, Uint8*, int) = nullptr;
void* donnees = nullptr;

// SDL's device behind the tests' card is its dummy one: no sound card is
// needed, and nothing is heard.
const bool piloteChoisi = setenv("SDL_AUDIODRIVER", "dummy", 1) == 0;

void taire(void*, Uint8* flux, int octets) {
    std::fill_n(flux, octets, Uint8{0});
}

} // namespace

// SDL mixes samples in the format of the open device, so SDL's device opens
// all the same, but its thread asks for silence.
extern "C" int SDL_OpenAudio(SDL_AudioSpec* voulu, SDL_AudioSpec* obtenu) {
    static const auto ouvrir =
        reinterpret_cast<int (*)(SDL_AudioSpec*, SDL_AudioSpec*)>(dlsym(RTLD_NEXT, __func__));
    if (!presente) {
        return -1;
    }
    voulu->freq = frequenceCarte;
    rappel = voulu->callback;
    donnees = voulu->userdata;
    voulu->callback = taire;
    return ouvrir(voulu, obtenu);
}

// Closing forgets the callback: what renders afterwards is silence.
extern "C" void SDL_CloseAudio() {
    static const auto fermer = reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, __func__));
    rappel = nullptr;
    fermer();
}

void carte::brancher(bool carte, int frequence) {
    presente = carte;
    frequenceCarte = frequence;
}

std::vector<int16_t> carte::rendre(double secondes) {
    constexpr int tampon = 512;
    const long trames = std::lround(std::max(secondes, 0.0) * 44100);
    const int tampons = static_cast<int>((trames + tampon - 1) / tampon);
    std::vector<int16_t> sortie(2 * static_cast<size_t>(tampons * tampon));
    for (int i = 0; i < tampons && rappel != nullptr; ++i) {
        rappel(donnees, reinterpret_cast<Uint8*>(sortie.data() + 2 * i * tampon), 4 * tampon);
    }
    return sortie;
}
