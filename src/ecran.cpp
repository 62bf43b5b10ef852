// Drawing helpers shared by the screens.
#include "ecran.h"

#include <cstdlib>

SDL_Surface* ouvrirFenetre(int largeur, int hauteur) {
    // sdl12-compat waits for the vertical blank on each flip only when asked
    // before the mode is set; without it the screens that redraw without
    // waiting would spin a core at thousands of frames per second.
    setenv("SDL12COMPAT_SYNC_TO_VBLANK", "1", 0);
    return SDL_SetVideoMode(largeur, hauteur, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
}

void commencerImage(SDL_Surface* ecran, const char* titre) {
    SDL_WM_SetCaption(titre, nullptr);
    SDL_FillRect(ecran, nullptr, SDL_MapRGB(ecran->format, 255, 255, 255));
}

void dessinerA(SDL_Surface* ecran, SDL_Surface* image, int x, int y) {
    if (image == nullptr) {
        return;
    }
    SDL_Rect position;
    position.x = static_cast<Sint16>(x);
    position.y = static_cast<Sint16>(y);
    SDL_BlitSurface(image, nullptr, ecran, &position);
}

void dessinerCentre(SDL_Surface* ecran, SDL_Surface* image) {
    if (image == nullptr) {
        return;
    }
    dessinerA(ecran, image, ecran->w / 2 - image->w / 2, ecran->h / 2 - image->h / 2);
}

SDL_Surface* rendreTexte(TTF_Font* police, const char* texte, bool ombre) {
    if (police == nullptr) {
        return nullptr;
    }
    const SDL_Color noir = {0, 0, 0, 0};
    const SDL_Color blanc = {255, 255, 255, 0};
    if (ombre) {
        return TTF_RenderText_Shaded(police, texte, noir, blanc);
    }
    return TTF_RenderText_Blended(police, texte, noir);
}

TTF_Font* ouvrirPolice(const char* chemin, int taille, int style) {
    TTF_Font* police = TTF_OpenFont(chemin, taille);
    if (police != nullptr) {
        TTF_SetFontStyle(police, style);
    }
    return police;
}

void attendreEvenement(SDL_Event& evenement) {
    evenement = SDL_Event{};
    if (SDL_WaitEvent(&evenement) == 0) {
        evenement.type = SDL_NOEVENT;
    }
}

bool demandeDeSortie(const SDL_Event& evenement) {
    return evenement.type == SDL_QUIT ||
           (evenement.type == SDL_KEYDOWN && evenement.key.keysym.sym == SDLK_ESCAPE);
}
