// The platform's own cost: an 800x600 window opened as the game opens its own, and nothing else.
//
// Without arguments it waits for its first event, fills the window with a
// colour no screen of the game uses, flips, and then redraws on every event
// until Escape or the close button, like the menu. With "boucle S" it flips
// without waiting for events for S seconds, alternating two colours, like
// the credits, then exits.
#include <SDL.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    // The same flip policy and mode as the game's windows.
    setenv("SDL12COMPAT_SYNC_TO_VBLANK", "1", 0);
    SDL_Init(SDL_INIT_VIDEO);
    SDL_Surface* ecran = SDL_SetVideoMode(800, 600, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    SDL_WM_SetCaption("Fenetre nue", nullptr);
    if (ecran == nullptr) {
        return 1;
    }
    const Uint32 magenta = SDL_MapRGB(ecran->format, 255, 0, 255);
    const Uint32 vert = SDL_MapRGB(ecran->format, 0, 255, 0);

    if (argc >= 3 && std::strcmp(argv[1], "boucle") == 0) {
        const Uint32 fin = SDL_GetTicks() + static_cast<Uint32>(std::atof(argv[2]) * 1000);
        bool pair = false;
        while (static_cast<Sint32>(SDL_GetTicks() - fin) < 0) {
            SDL_Event evenement;
            while (SDL_PollEvent(&evenement) != 0) {
            }
            SDL_FillRect(ecran, nullptr, pair ? magenta : vert);
            SDL_Flip(ecran);
            pair = !pair;
        }
    } else {
        bool continuer = true;
        while (continuer) {
            SDL_Event evenement;
            if (SDL_WaitEvent(&evenement) == 0) {
                break;
            }
            continuer = !(evenement.type == SDL_QUIT || (evenement.type == SDL_KEYDOWN &&
                                                         evenement.key.keysym.sym == SDLK_ESCAPE));
            SDL_FillRect(ecran, nullptr, magenta);
            SDL_Flip(ecran);
        }
    }
    SDL_Quit();
    return 0;
}
