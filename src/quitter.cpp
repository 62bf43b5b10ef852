// The credits page: shown for 10.1 seconds on the way out of the program.
#include "quitter.h"

#include "audio.h"
#include "ecran.h"

#include <cstdint>

namespace {

constexpr uint32_t DUREE_CREDITS = 10100; // milliseconds

} // namespace

void quitter(SDL_Surface*, bool& continuer) {
    const uint32_t tempsFin = SDL_GetTicks() + DUREE_CREDITS;
    SDL_Surface* ecran = ouvrirFenetre(300, 500);
    SDL_WM_SetCaption("Pressathon - CREDITS", nullptr);
    SDL_Surface* fond = chargerImage("IMG/fondCredits.png");
    // Played once: after it the rest of the credits are silent.
    FMUSIC_MODULE* musique = FMUSIC_LoadSong("MUSIC/credits.mid");
    FMUSIC_PlaySong(musique);
    FMUSIC_SetLooping(musique, 0);

    // Nothing to wait for but the time: the page redraws at the display's pace.
    Cadence cadence;
    bool fini = false;
    while (!fini) {
        SDL_Event evenement;
        if (SDL_PollEvent(&evenement) != 0 && demandeDeSortie(evenement)) {
            fini = true;
        }
        const uint32_t maintenant = SDL_GetTicks();
        commencerImage(ecran, "Pressathon - CREDITS");
        dessinerCentre(ecran, fond);
        SDL_Flip(ecran);
        cadence.attendreImage();
        // Compared as a signed difference so that the clock wrapping around
        // does not end the credits early.
        if (static_cast<int32_t>(maintenant - tempsFin) >= 0) {
            fini = true;
        }
    }

    FMUSIC_FreeSong(musique);
    SDL_FreeSurface(fond);
    continuer = false;
}
