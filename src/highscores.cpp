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

// The file is read in pieces this large: a padded file costs no more memory
// than a short one.
constexpr size_t TAILLE_MORCEAU = 512;

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
    // One character at a time, the scan keeps its place (the entry, the step
    // within it, the number so far) from one piece of the file to the next, so
    // that a number may straddle two pieces. The entries go to the caller's
    // table only once the reading has come to its end.
    int32_t lues[5];
    int entree = 0;
    enum class Etape { blanc, signe, chiffres, fin } etape = Etape::blanc;
    bool negatif = false;
    int64_t valeur = 0;
    // From 2^31 on a number clamps to a bound whatever digits follow, so the
    // accumulation stops growing there and cannot overflow.
    constexpr int64_t horsPortee = int64_t{1} << 31;
    const auto terminerNombre = [&] {
        lues[entree++] =
            static_cast<int32_t>(negatif ? -valeur : std::min(valeur, int64_t{INT32_MAX}));
        negatif = false;
        etape = entree == 5 ? Etape::fin : Etape::blanc;
    };

    char morceau[TAILLE_MORCEAU];
    size_t position = 0;
    while (etape != Etape::fin) {
        // One byte past the limit tells whether the file ends there.
        const size_t voulu =
            position < LIMITE_LECTURE ? std::min(sizeof morceau, LIMITE_LECTURE - position) : 1;
        const ssize_t lu = pread(descripteur, morceau, voulu, static_cast<off_t>(position));
        if (lu < 0 && errno == EINTR) {
            continue;
        }
        if (lu < 0) {
            return false;
        }
        if (lu == 0) {
            // The end of the file ends a number as a space would.
            if (etape == Etape::chiffres) {
                terminerNombre();
            }
            break;
        }
        if (position >= LIMITE_LECTURE) {
            // More to read than the limit allows, with the table unfinished:
            // what it would hold is unknown, and zeros in its place could be
            // written back over real scores.
            return false;
        }
        for (ssize_t i = 0; i < lu && etape != Etape::fin; ++i) {
            const char c = morceau[i];
            if (etape == Etape::chiffres) {
                if (estChiffre(c)) {
                    valeur = std::min(valeur * 10 + (c - '0'), horsPortee);
                    continue;
                }
                // A fifth number ends the reading; any other goes on below
                // with the character that ended it.
                terminerNombre();
            }
            if (etape == Etape::blanc && estBlanc(c)) {
                continue;
            }
            if (etape == Etape::blanc && (c == '+' || c == '-')) {
                negatif = c == '-';
                etape = Etape::signe;
            } else if (estChiffre(c)) {
                valeur = c - '0';
                etape = Etape::chiffres;
            } else {
                // Neither white space, a sign nor a digit where one was due
                // (after the fifth number, any character lands here).
                etape = Etape::fin;
            }
        }
        position += static_cast<size_t>(lu);
    }
    std::copy(lues, lues + entree, tableHighScores);
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
