// The high-score screen and the reading of the score file.
#include "highscores.h"

#include "audio.h"
#include "ecran.h"
#include "fichier_scores.h"

#include <cstdio>

void recupHighScores(int32_t tableHighScores[5]) {
    if (!lireScores(tableHighScores)) {
        std::fputs("Erreur Fichier: Ouverture du fichier \xE9"
                   "chou\xE9"
                   "e lors de la r\xE9"
                   "cup\xE9"
                   "ration des HighScores",
                   stderr);
    }
}

void voirHighScores(SDL_Surface*, SDL_Surface*, TTF_Font*) {
    SDL_Surface* ecran = ouvrirFenetre(600, 450);
    SDL_WM_SetCaption("Pressathon - HIGHSCORES", nullptr);
    SDL_Surface* fond = chargerImage("IMG/fondHighScores.png");
    FMUSIC_MODULE* musique = FMUSIC_LoadSong("MUSIC/highscores.mid");
    // Without its song the screen closes at once, still giving the menu its
    // window back.
    bool continuer = musique != nullptr;
    FMUSIC_PlaySong(musique);
    FMUSIC_SetLooping(musique, 1);
    TTF_Font* police = ouvrirPolice("journal.ttf", 60, TTF_STYLE_BOLD | TTF_STYLE_ITALIC);

    int32_t tableHighScores[5] = {0, 0, 0, 0, 0};
    recupHighScores(tableHighScores);
    // 59 characters and the terminator: far more than any 32-bit score needs.
    char lignes[5][60];
    std::snprintf(lignes[0], sizeof lignes[0], " %der : %d", 1,
                  static_cast<int>(tableHighScores[0]));
    for (int rang = 1; rang < 5; ++rang) {
        std::snprintf(lignes[rang], sizeof lignes[rang], "%d\xE8me : %d", rang + 1,
                      static_cast<int>(tableHighScores[rang]));
    }
    SDL_Surface* surfaces[5] = {};

    // Redrawn once per event: the table first appears with the first event
    // after the screen opens.
    while (continuer) {
        SDL_Event evenement;
        attendreEvenement(evenement);
        if (demandeDeSortie(evenement)) {
            continuer = false;
        }
        commencerImage(ecran, "Pressathon - HIGHSCORES");
        dessinerCentre(ecran, fond);
        for (int i = 0; i < 5; ++i) {
            SDL_FreeSurface(surfaces[i]);
            surfaces[i] = rendreTexte(police, lignes[i], false);
            dessinerA(ecran, surfaces[i], ecran->w / 2 - 100, ecran->h / 2 + 60 * i - 150);
        }
        SDL_Flip(ecran);
    }

    for (SDL_Surface* surface : surfaces) {
        SDL_FreeSurface(surface);
    }
    if (police != nullptr) {
        TTF_CloseFont(police);
    }
    ouvrirFenetre(800, 600);
    FMUSIC_FreeSong(musique);
    SDL_FreeSurface(fond);
}
