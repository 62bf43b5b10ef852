// The high-score screen and the reading of the score file.
#include "highscores.h"

#include "audio.h"
#include "ecran.h"
#include "fichiers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The white space of "%d" in the C locale.
bool estBlanc(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool estChiffre(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int ouvrirHighScores(bool pourEcrire) {
    off_t taille = 0;
    const int descripteur = ouvrirFichierRegulier(FICHIER_HIGHSCORES, taille, pourEcrire);
    if (descripteur < 0) {
        return -1;
    }
    // A lock that cannot be had (no support on the file system) leaves the
    // file usable as it was before locks existed.
    while (flock(descripteur, pourEcrire ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
    return descripteur;
}

bool lireHighScores(int descripteur, int32_t tableHighScores[5]) {
    char texte[LIMITE_LECTURE];
    size_t taille = 0;
    while (taille < sizeof texte) {
        const ssize_t lu =
            pread(descripteur, texte + taille, sizeof texte - taille, static_cast<off_t>(taille));
        if (lu < 0 && errno == EINTR) {
            continue;
        }
        if (lu < 0) {
            return false;
        }
        if (lu == 0) {
            break;
        }
        taille += static_cast<size_t>(lu);
    }
    // With the buffer full, the file may go on past what was read.
    const bool tronque = taille == sizeof texte;

    // From 2^31 on a number clamps to a bound whatever digits follow, so the
    // accumulation stops growing there and cannot overflow.
    constexpr int64_t horsPortee = int64_t{1} << 31;
    size_t i = 0;
    for (int entree = 0; entree < 5; ++entree) {
        while (i < taille && estBlanc(texte[i])) {
            ++i;
        }
        bool negatif = false;
        if (i < taille && (texte[i] == '+' || texte[i] == '-')) {
            negatif = texte[i] == '-';
            ++i;
        }
        if (i >= taille || !estChiffre(texte[i])) {
            return true;
        }
        int64_t valeur = 0;
        while (i < taille && estChiffre(texte[i])) {
            valeur = std::min(valeur * 10 + (texte[i] - '0'), horsPortee);
            ++i;
        }
        // A number cut by the limit is known only once it is out of range.
        if (i == taille && tronque && valeur < horsPortee) {
            return true;
        }
        tableHighScores[entree] =
            static_cast<int32_t>(negatif ? -valeur : std::min(valeur, int64_t{INT32_MAX}));
    }
    return true;
}

void recupHighScores(int32_t tableHighScores[5]) {
    // Something that opens but cannot be read is as good as missing.
    const int fichier = ouvrirHighScores(false);
    if (fichier < 0 || !lireHighScores(fichier, tableHighScores)) {
        std::fputs("Erreur Fichier: Ouverture du fichier \xE9"
                   "chou\xE9"
                   "e lors de la r\xE9"
                   "cup\xE9"
                   "ration des HighScores",
                   stderr);
    }
    if (fichier >= 0) {
        close(fichier);
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
