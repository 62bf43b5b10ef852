// Data files on Linux and other POSIX systems: a regular file opened without blocking.
#include "fichiers.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> cheminsSoundFont() {
    // Debian's TimGM6mb, which the game depends on, then whichever General
    // MIDI SoundFont the system names its default.
    return {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2"};
}

int ouvrirFichierRegulier(const char* chemin, int64_t* taille, bool ecriture) {
    *taille = 0;
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
    *taille = etat.st_size;
    return descripteur;
}

long lireA(int fichier, void* octets, size_t taille, int64_t position) {
    ssize_t lu = -1;
    do {
        lu = pread(fichier, octets, taille, static_cast<off_t>(position));
    } while (lu < 0 && errno == EINTR);
    return static_cast<long>(lu);
}

bool fermerFichier(int fichier) {
    return close(fichier) == 0;
}

std::FILE* fluxDeFichier(int fichier) {
    return fdopen(fichier, "rb");
}
