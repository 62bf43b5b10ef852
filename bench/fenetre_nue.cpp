// The platform's own cost: an 800x600 window opened like the game's, waiting like the menu.
//
// It redraws (in a colour no screen of the game uses) on every event, until
// Escape or the close button.
#include <SDL.h>

int main(int, char*[]) {
    SDL_Init(SDL_INIT_VIDEO);
    SDL_Surface* ecran = SDL_SetVideoMode(800, 600, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (ecran == nullptr) {
        return 1;
    }
    SDL_WM_SetCaption("Fenetre nue", nullptr);
    SDL_Event evenement;
    while (SDL_WaitEvent(&evenement) != 0 && evenement.type != SDL_QUIT &&
           !(evenement.type == SDL_KEYDOWN && evenement.key.keysym.sym == SDLK_ESCAPE)) {
        SDL_FillRect(ecran, nullptr, SDL_MapRGB(ecran->format, 255, 0, 255));
        SDL_Flip(ecran);
    }
    SDL_Quit();
    return 0;
}
