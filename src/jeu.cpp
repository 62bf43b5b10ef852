// The click game and the submission of its score.
#include "jeu.h"
#include "highscores.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

void jouer(SDL_Surface*, TTF_Font*) {}

void sauverHighScores(int32_t score) {
    int32_t tableHighScores[5] = {0, 0, 0, 0, 0};
    // Opened for writing from the start: a file the game may read but not
    // rewrite keeps no score, so it is reported like a missing one. The lock
    // spans reading, ranking and writing, so that two games ending together
    // both keep their scores.
    const int fichier = ouvrirHighScores(true);
    if (fichier < 0 || !lireHighScores(fichier, tableHighScores)) {
        std::fputs("Erreur Fichier: Ouverture du fichier \xE9"
                   "chou\xE9"
                   "e lors de la sauvegarde des HighScores",
                   stderr);
        if (fichier >= 0) {
            close(fichier);
        }
        return;
    }

    // Strict comparisons: a score equal to an entry it meets is not inserted,
    // so submitting the same count again leaves a sorted table as it is.
    int rang = 0;
    while (rang < 5 &&
           !(tableHighScores[rang] < score && (rang == 0 || score < tableHighScores[rang - 1]))) {
        ++rang;
    }
    if (rang < 5) {
        for (int i = 4; i > rang; --i) {
            tableHighScores[i] = tableHighScores[i - 1];
        }
        tableHighScores[rang] = score;
        char texte[64];
        const int longueur = std::snprintf(
            texte, sizeof texte, "%d %d %d %d %d", static_cast<int>(tableHighScores[0]),
            static_cast<int>(tableHighScores[1]), static_cast<int>(tableHighScores[2]),
            static_cast<int>(tableHighScores[3]), static_cast<int>(tableHighScores[4]));
        // One write over the old text, then cut what is left of a longer old
        // text; on a failed write the old text is better kept whole.
        ssize_t ecrit;
        do {
            ecrit = pwrite(fichier, texte, static_cast<size_t>(longueur), 0);
        } while (ecrit < 0 && errno == EINTR);
        if (ecrit == longueur) {
            while (ftruncate(fichier, longueur) != 0 && errno == EINTR) {
            }
            fsync(fichier);
        }
    }
    close(fichier);
}
