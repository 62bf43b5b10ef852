// The rules page: one picture on the menu's window, with its own music.
#include "instructions.h"

#include "audio.h"
#include "ecran.h"

void instructions(SDL_Surface* surfaceEcran) {
    SDL_Surface* fond = chargerImage("IMG/fondInstructions.png");
    FMUSIC_MODULE* musique = FMUSIC_LoadSong("MUSIC/instructions.mid");
    // Without its song the page closes at once and the player is back in
    // the menu.
    bool continuer = musique != nullptr;
    FMUSIC_PlaySong(musique);
    FMUSIC_SetLooping(musique, 1);

    // Redrawn once per event: the page first appears with the first event
    // after it opens.
    while (continuer) {
        SDL_Event evenement;
        attendreEvenement(evenement);
        if (demandeDeSortie(evenement)) {
            continuer = false;
        }
        commencerImage(surfaceEcran, "Pressathon - INSTRUCTIONS");
        dessinerCentre(surfaceEcran, fond);
        SDL_Flip(surfaceEcran);
    }

    FMUSIC_FreeSong(musique);
    SDL_FreeSurface(fond);
}
