// The platform's own cost: an 800x600 window opened like the game's, waiting like the menu.
//
// It redraws (in a colour no screen of the game uses) on every event, until
// Escape or the close button. Given a WAV file, it opens the sound device as
// the game does, on SDL's own choice of driver, and plays the sound on every
// release of a mouse button.
#include <SDL.h>
#include <SDL_mixer.h>

int main(int argc, char* argv[]) {
    SDL_Init(SDL_INIT_VIDEO);
    SDL_Surface* ecran = SDL_SetVideoMode(800, 600, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (ecran == nullptr) {
        return 1;
    }
    SDL_WM_SetCaption("Fenetre nue", nullptr);
    Mix_Chunk* son = nullptr;
    if (argc > 1) {
        SDL_InitSubSystem(SDL_INIT_AUDIO);
        Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 512);
        son = Mix_LoadWAV(argv[1]);
    }
    SDL_Event evenement;
    while (SDL_WaitEvent(&evenement) != 0 && evenement.type != SDL_QUIT &&
           !(evenement.type == SDL_KEYDOWN && evenement.key.keysym.sym == SDLK_ESCAPE)) {
        if (evenement.type == SDL_MOUSEBUTTONUP && son != nullptr) {
            Mix_PlayChannel(-1, son, 0);
        }
        SDL_FillRect(ecran, nullptr, SDL_MapRGB(ecran->format, 255, 0, 255));
        SDL_Flip(ecran);
    }
    SDL_Quit();
    return 0;
}
