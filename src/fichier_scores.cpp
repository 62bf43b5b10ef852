// The score file: its lock, its reading, the ranking of a score and the rewrite that keeps it
// whole.
#include "fichier_scores.h"

#include "fichiers.h"

#include <algorithm>
#include <cstdio>
#include <string>

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

// The open file, locked: shared for reading, exclusive for rewriting, so a
// rewrite is never seen half done. Opened for writing from the start when it
// is to be rewritten: a file the game may read but not rewrite keeps no
// score, and is reported like a missing one.
class FichierVerrouille {
  public:
    explicit FichierVerrouille(bool pourEcrire) {
        int64_t taille = 0;
        descripteur_ = ouvrirFichierRegulier(FICHIER_HIGHSCORES, &taille, pourEcrire);
        if (descripteur_ >= 0) {
            verrouillerFichier(descripteur_, pourEcrire);
        }
    }
    ~FichierVerrouille() {
        fermer();
    }
    FichierVerrouille(const FichierVerrouille&) = delete;
    FichierVerrouille& operator=(const FichierVerrouille&) = delete;

    int descripteur() const {
        return descripteur_;
    }
    // False when the system reports an error on closing.
    bool fermer() {
        if (descripteur_ >= 0) {
            deverrouillerFichier(descripteur_);
        }
        const bool ferme = descripteur_ < 0 || fermerFichier(descripteur_);
        descripteur_ = -1;
        return ferme;
    }

  private:
    int descripteur_ = -1;
};

// One character at a time, the scan keeps its place (the entry, the step
// within it, the number so far) from one piece of the file to the next, so
// that a number may straddle two pieces. The entries go to the caller's
// table only once the reading has come to its end.
bool lire(int descripteur, int32_t tableHighScores[5]) {
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
        const long lu = lireA(descripteur, morceau, voulu, static_cast<int64_t>(position));
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
        for (long i = 0; i < lu && etape != Etape::fin; ++i) {
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

// The rank the score takes, or 5 when it takes none. Strict comparisons: a
// score equal to an entry it meets is not inserted, so submitting the same
// count again leaves a sorted table as it is.
int rang(const int32_t table[5], int32_t score) {
    int r = 0;
    while (r < 5 && !(table[r] < score && (r == 0 || score < table[r - 1]))) {
        ++r;
    }
    return r;
}

// Writes all of the bytes at `position`, going on after a short write; false
// when the file takes no more.
bool ecrireTout(int fichier, const char* octets, size_t taille, int64_t position) {
    while (taille > 0) {
        const long ecrit = ecrireA(fichier, octets, taille, position);
        if (ecrit <= 0) {
            return false;
        }
        octets += ecrit;
        taille -= static_cast<size_t>(ecrit);
        position += ecrit;
    }
    return true;
}

// Rewrites the file in place (the same file, its owner, mode and links kept)
// so that, whenever the program stops and whatever the disk refuses, it reads
// as the old table or the new one. False when the new text could not be
// written: the old one then still stands.
bool reecrire(int fichier, const std::string& texte) {
    const int64_t ancienne = tailleFichier(fichier);
    const auto longueur = static_cast<int64_t>(texte.size());
    if (ancienne < 0) {
        return false;
    }
    if (longueur > ancienne) {
        // Room first: spaces after the old text leave it reading as before,
        // and a full disk or quota shows here, before anything is overwritten.
        const std::string espaces(static_cast<size_t>(longueur - ancienne), ' ');
        if (!ecrireTout(fichier, espaces.data(), espaces.size(), ancienne)) {
            tronquerFichier(fichier, ancienne);
            return false;
        }
    }
    // Over a longer old text, a space ends the fifth number: until the file
    // is cut, what is left of the old text after it is never read. The file
    // can be read whole: the reading just did, so the old text ends within its
    // limit.
    const std::string nouveau = ancienne > longueur ? texte + ' ' : texte;
    if (!ecrireTout(fichier, nouveau.data(), nouveau.size(), 0)) {
        return false;
    }
    if (ancienne > longueur) {
        tronquerFichier(fichier, longueur);
    }
    return synchroniserFichier(fichier);
}

} // namespace

bool lireScores(int32_t tableHighScores[5]) {
    FichierVerrouille fichier(false);
    return fichier.descripteur() >= 0 && lire(fichier.descripteur(), tableHighScores);
}

Depot deposerScore(int32_t score) {
    int32_t table[5] = {0, 0, 0, 0, 0};
    FichierVerrouille fichier(true);
    if (fichier.descripteur() < 0 || !lire(fichier.descripteur(), table)) {
        return Depot::echec;
    }
    const int r = rang(table, score);
    if (r == 5) {
        return fichier.fermer() ? Depot::sansEffet : Depot::echec;
    }
    std::copy_backward(table + r, table + 4, table + 5);
    table[r] = score;
    char texte[64];
    const int longueur =
        std::snprintf(texte, sizeof texte, "%d %d %d %d %d", static_cast<int>(table[0]),
                      static_cast<int>(table[1]), static_cast<int>(table[2]),
                      static_cast<int>(table[3]), static_cast<int>(table[4]));
    const bool ecrit =
        reecrire(fichier.descripteur(), std::string(texte, static_cast<size_t>(longueur)));
    return fichier.fermer() && ecrit ? Depot::entre : Depot::echec;
}
