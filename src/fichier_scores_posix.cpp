// The score file's lock and rewrite on Linux and other POSIX systems.
#include "fichier_scores.h"

#include <cerrno>
#include <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool verrouillerFichier(int fichier, bool exclusif) {
    int resultat = 0;
    do {
        resultat = flock(fichier, exclusif ? LOCK_EX : LOCK_SH);
    } while (resultat != 0 && errno == EINTR);
    return resultat == 0;
}

bool deverrouillerFichier(int fichier) {
    return flock(fichier, LOCK_UN) == 0;
}

int64_t tailleFichier(int fichier) {
    struct stat etat;
    return fstat(fichier, &etat) == 0 ? static_cast<int64_t>(etat.st_size) : -1;
}

long ecrireA(int fichier, const char* octets, size_t taille, int64_t position) {
    // A file-size limit fails the write instead of killing the game.
    std::signal(SIGXFSZ, SIG_IGN);
    ssize_t ecrit = -1;
    do {
        ecrit = pwrite(fichier, octets, taille, static_cast<off_t>(position));
    } while (ecrit < 0 && errno == EINTR);
    return ecrit > 0 ? static_cast<long>(ecrit) : -1;
}

bool tronquerFichier(int fichier, int64_t taille) {
    int resultat = 0;
    do {
        resultat = ftruncate(fichier, static_cast<off_t>(taille));
    } while (resultat != 0 && errno == EINTR);
    return resultat == 0;
}

bool synchroniserFichier(int fichier) {
    return fsync(fichier) == 0;
}
