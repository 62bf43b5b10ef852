// Start-up, the main menu and shutdown.
#include "main.h"

#include "audio.h"
#include "ecran.h"
#include "highscores.h"
#include "instructions.h"
#include "jeu.h"
#include "quitter.h"

#include <SDL.h>
#include <SDL_ttf.h>

namespace {

// What the menu owns from start-up to shutdown.
struct Menu {
    SDL_Surface* fond;
    TTF_Font* police;
    SDL_Surface* bienvenue;
    FMUSIC_MODULE* musique;
    bool continuer;
};

void dessinerMenu(const Menu& menu) {
    // A screen may have changed the video mode: draw on the current surface.
    SDL_Surface* ecran = SDL_GetVideoSurface();
    commencerImage(ecran, "Pressathon - HOME");
    dessinerCentre(ecran, menu.fond);
    if (menu.bienvenue != nullptr) {
        // The text sits high: its top is clipped by the window edge when it
        // is 72 pixels tall or more.
        const int x = ecran->w / 2 - menu.bienvenue->w / 2;
        const int y = ecran->h / 2 - menu.bienvenue->h / 2 - 265;
        dessinerA(ecran, menu.bienvenue, x, y);
    }
    SDL_Flip(ecran);
}

bool toucheEst(SDLKey touche, SDLKey chiffre, SDLKey pave) {
    return touche == chiffre || touche == pave;
}

// Runs the screen a key or a close request asks for; anything else only
// leads to a redraw.
void repondre(Menu& menu, const SDL_Event& evenement) {
    SDL_Surface* ecran = SDL_GetVideoSurface();
    if (evenement.type == SDL_QUIT) {
        FMUSIC_StopSong(menu.musique);
        quitter(ecran, menu.continuer);
        return;
    }
    if (evenement.type != SDL_KEYDOWN) {
        return;
    }
    const SDLKey touche = evenement.key.keysym.sym;
    if (touche == SDLK_ESCAPE || toucheEst(touche, SDLK_4, SDLK_KP4)) {
        FMUSIC_StopSong(menu.musique);
        quitter(ecran, menu.continuer);
    } else if (toucheEst(touche, SDLK_1, SDLK_KP1)) {
        FMUSIC_StopSong(menu.musique);
        jouer(ecran, menu.police);
        FMUSIC_PlaySong(menu.musique);
    } else if (toucheEst(touche, SDLK_2, SDLK_KP2)) {
        FMUSIC_StopSong(menu.musique);
        voirHighScores(ecran, menu.fond, menu.police);
        FMUSIC_PlaySong(menu.musique);
    } else if (toucheEst(touche, SDLK_3, SDLK_KP3)) {
        FMUSIC_StopSong(menu.musique);
        instructions(ecran);
        FMUSIC_PlaySong(menu.musique);
    }
}

} // namespace

int SDL_main(int, char*[]) {
    // Without a display the game would run unseen, waiting for input that
    // never comes: say so and stop before anything starts.
    verifierAffichage();
    Menu menu{};
    menu.fond = chargerImage("IMG/fond.png");
    TTF_Init();
    FSOUND_Init(44100, 32, 0);
    demarrerVideo();

    SDL_Surface* icone = chargerImage("IMG/icone.png");
    if (icone != nullptr) {
        SDL_WM_SetIcon(icone, nullptr);
    }
    ouvrirFenetre(800, 600);
    SDL_WM_SetCaption("Pressathon - HOME", nullptr);

    menu.police = ouvrirPolice("journal.ttf", 90, TTF_STYLE_ITALIC);
    menu.bienvenue = rendreTexte(menu.police, "Bienvenue !", false);
    menu.musique = FMUSIC_LoadSong("MUSIC/menu.mid");
    if (menu.musique == nullptr) {
        return 1;
    }
    FMUSIC_PlaySong(menu.musique);
    FMUSIC_SetLooping(menu.musique, 1);

    // The menu waits for input and redraws once per event, including the
    // pass on which the credits end it.
    menu.continuer = true;
    while (menu.continuer) {
        SDL_Event evenement;
        attendreEvenement(evenement);
        repondre(menu, evenement);
        dessinerMenu(menu);
    }

    FMUSIC_FreeSong(menu.musique);
    TTF_CloseFont(menu.police);
    TTF_Quit();
    SDL_FreeSurface(menu.bienvenue);
    SDL_FreeSurface(menu.fond);
    // The window has its own copy of the icon by now.
    SDL_FreeSurface(icone);
    SDL_Quit();
    FSOUND_Close();
    return 0;
}
