// The credits page: shown for 10.1 seconds on the way out of the program.
#include "quitter.h"

#include "audio.h"
#include "ecran.h"

#include <algorithm>
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

    // A still picture: drawn once, and again only when the window has been
    // uncovered. In between the page rests, looking at its events and the
    // clock a hundred times a second.
    bool aRedessiner = true;
    bool fini = false;
    while (!fini) {
        SDL_Event evenement;
        while (!fini && SDL_PollEvent(&evenement) != 0) {
            if (demandeDeSortie(evenement)) {
                fini = true;
            } else if (evenement.type == SDL_VIDEOEXPOSE) {
                aRedessiner = true;
            }
        }
        if (aRedessiner) {
            commencerImage(ecran, "Pressathon - CREDITS");
            dessinerCentre(ecran, fond);
            SDL_Flip(ecran);
            aRedessiner = false;
        }
        // Compared as a signed difference so that the clock wrapping around
        // does not end the credits early.
        const auto reste = static_cast<int32_t>(tempsFin - SDL_GetTicks());
        if (reste <= 0) {
            fini = true;
        } else if (!fini) {
            SDL_Delay(std::min(static_cast<uint32_t>(reste), TRANCHE_REPOS));
        }
    }

    FMUSIC_FreeSong(musique);
    SDL_FreeSurface(fond);
    continuer = false;
}
