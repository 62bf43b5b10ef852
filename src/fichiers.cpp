// Opening the game's data files safely: regular files only, never blocking.
#include "fichiers.h"

SDL_RWops* ouvrirDonnees(const char* chemin, int64_t tailleMax) {
    int64_t taille = 0;
    const int descripteur = ouvrirFichierRegulier(chemin, &taille, false);
    if (descripteur < 0) {
        return nullptr;
    }
    std::FILE* fichier = taille <= tailleMax ? fluxDeFichier(descripteur) : nullptr;
    if (fichier == nullptr) {
        fermerFichier(descripteur);
        return nullptr;
    }
    SDL_RWops* flux = SDL_RWFromFP(fichier, 1);
    if (flux == nullptr) {
        std::fclose(fichier);
    }
    return flux;
}

std::vector<unsigned char> lireFichierRegulier(const char* chemin, int64_t tailleMax) {
    int64_t taille = 0;
    const int descripteur = ouvrirFichierRegulier(chemin, &taille, false);
    if (descripteur < 0) {
        return {};
    }
    // One byte more than the file holds tells a file that grew meanwhile.
    std::vector<unsigned char> octets(taille <= tailleMax ? static_cast<size_t>(taille) + 1 : 0);
    size_t lus = 0;
    while (lus < octets.size()) {
        const long n =
            lireA(descripteur, octets.data() + lus, octets.size() - lus, static_cast<int64_t>(lus));
        if (n <= 0) {
            lus = n < 0 ? octets.size() : lus;
            break;
        }
        lus += static_cast<size_t>(n);
    }
    fermerFichier(descripteur);
    octets.resize(lus < octets.size() ? lus : 0);
    return octets;
}
