// Opening the game's data files safely: regular files only, never blocking.
#include "fichiers.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int ouvrirFichierRegulier(const char* chemin, off_t& taille, bool ecriture) {
    taille = 0;
    if (chemin == nullptr) {
        return -1;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer that never comes. For a regular file the flag changes nothing.
    const int descripteur =
        open(chemin, (ecriture ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descripteur < 0) {
        return -1;
    }
    struct stat etat;
    if (fstat(descripteur, &etat) != 0 || !S_ISREG(etat.st_mode)) {
        close(descripteur);
        return -1;
    }
    taille = etat.st_size;
    return descripteur;
}

SDL_RWops* ouvrirDonnees(const char* chemin, off_t tailleMax) {
    off_t taille = 0;
    const int descripteur = ouvrirFichierRegulier(chemin, taille);
    if (descripteur < 0) {
        return nullptr;
    }
    std::FILE* fichier = taille <= tailleMax ? fdopen(descripteur, "rb") : nullptr;
    if (fichier == nullptr) {
        close(descripteur);
        return nullptr;
    }
    SDL_RWops* flux = SDL_RWFromFP(fichier, 1);
    if (flux == nullptr) {
        std::fclose(fichier);
    }
    return flux;
}

std::vector<unsigned char> lireFichierRegulier(const char* chemin, off_t tailleMax) {
    off_t taille = 0;
    const int descripteur = ouvrirFichierRegulier(chemin, taille);
    if (descripteur < 0) {
        return {};
    }
    // One byte more than the file holds tells a file that grew meanwhile.
    std::vector<unsigned char> octets(taille <= tailleMax ? static_cast<size_t>(taille) + 1 : 0);
    size_t lus = 0;
    while (lus < octets.size()) {
        const ssize_t n = read(descripteur, octets.data() + lus, octets.size() - lus);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            lus = n < 0 ? octets.size() : lus;
            break;
        }
        lus += static_cast<size_t>(n);
    }
    close(descripteur);
    octets.resize(lus < octets.size() ? lus : 0);
    return octets;
}
