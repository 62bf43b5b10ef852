// Drawing helpers shared by the screens.
#include "ecran.h"

#include "fichiers.h"
#include "silence.h"

#include <SDL_image.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool defini(const char* variable) {
    const char* valeur = std::getenv(variable);
    return valeur != nullptr && valeur[0] != '\0';
}

// Pictures are a few hundred kilobytes; this bounds what a replaced file can
// make the game read and decode.
constexpr int64_t TAILLE_MAX_IMAGE = 16 << 20;
constexpr uint32_t COTE_MAX_IMAGE = 4096;
constexpr int64_t TAILLE_MAX_POLICE = 32 << 20;

} // namespace

void arreterSansAffichage(const char* raison) {
    std::fprintf(stderr, "Erreur Affichage: %s\n", raison);
    std::exit(1);
}

void demarrerVideo() {
    {
        // When X cannot be used SDL tries Wayland, whose library complains
        // on the error stream before SDL moves on.
        ErreursMuettes muet;
        SDL_Init(SDL_INIT_VIDEO);
    }
    if (defini("SDL_VIDEODRIVER")) {
        return;
    }
    char pilote[32] = "";
    if (SDL_VideoDriverName(pilote, sizeof pilote) == nullptr ||
        std::strcmp(pilote, "dummy") == 0 || std::strcmp(pilote, "offscreen") == 0) {
        arreterSansAffichage("aucun serveur graphique joignable, le jeu ne peut pas s'afficher");
    }
}

SDL_Surface* ouvrirFenetre(int largeur, int hauteur) {
    SDL_Surface* ecran = SDL_SetVideoMode(largeur, hauteur, 32, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (ecran == nullptr) {
        const std::string raison = "le serveur graphique refuse le mode " +
                                   std::to_string(largeur) + "x" + std::to_string(hauteur);
        arreterSansAffichage(raison.c_str());
    }
    return ecran;
}

void commencerImage(SDL_Surface* ecran, const char* titre) {
    SDL_WM_SetCaption(titre, nullptr);
    SDL_FillRect(ecran, nullptr, SDL_MapRGB(ecran->format, 255, 255, 255));
}

void dessinerA(SDL_Surface* ecran, SDL_Surface* image, int x, int y) {
    if (image == nullptr) {
        return;
    }
    SDL_Rect position;
    position.x = static_cast<Sint16>(x);
    position.y = static_cast<Sint16>(y);
    SDL_BlitSurface(image, nullptr, ecran, &position);
}

void dessinerCentre(SDL_Surface* ecran, SDL_Surface* image) {
    if (image == nullptr) {
        return;
    }
    dessinerA(ecran, image, ecran->w / 2 - image->w / 2, ecran->h / 2 - image->h / 2);
}

SDL_Surface* rendreTexte(TTF_Font* police, const char* texte, bool ombre) {
    if (police == nullptr) {
        return nullptr;
    }
    const SDL_Color noir = {0, 0, 0, 0};
    const SDL_Color blanc = {255, 255, 255, 0};
    if (ombre) {
        return TTF_RenderText_Shaded(police, texte, noir, blanc);
    }
    return TTF_RenderText_Blended(police, texte, noir);
}

SDL_Surface* chargerImage(const char* chemin) {
    SDL_RWops* flux = ouvrirDonnees(chemin, TAILLE_MAX_IMAGE);
    if (flux == nullptr) {
        return nullptr;
    }
    // The size is in the header: a picture claiming to be huge is refused
    // before its pixels are decoded into gigabytes.
    unsigned char entete[24];
    const bool lu = SDL_RWread(flux, entete, sizeof entete, 1) == 1;
    SDL_RWseek(flux, 0, RW_SEEK_SET);
    const auto cote = [&entete](int debut) {
        return static_cast<uint32_t>(entete[debut]) << 24 |
               static_cast<uint32_t>(entete[debut + 1]) << 16 |
               static_cast<uint32_t>(entete[debut + 2]) << 8 | entete[debut + 3];
    };
    if (!lu || std::memcmp(entete, "\x89PNG\r\n\x1A\n", 8) != 0 ||
        std::memcmp(entete + 12, "IHDR", 4) != 0 || cote(16) > COTE_MAX_IMAGE ||
        cote(20) > COTE_MAX_IMAGE) {
        SDL_RWclose(flux);
        return nullptr;
    }
    SDL_Surface* image = IMG_LoadPNG_RW(flux);
    SDL_RWclose(flux);
    return image;
}

TTF_Font* ouvrirPolice(const char* chemin, int taille, int style) {
    SDL_RWops* flux = ouvrirDonnees(chemin, TAILLE_MAX_POLICE);
    if (flux == nullptr) {
        return nullptr;
    }
    // The font keeps reading from the file while it is open, and closes it.
    TTF_Font* police = TTF_OpenFontRW(flux, 1, taille);
    if (police != nullptr) {
        TTF_SetFontStyle(police, style);
    }
    return police;
}

void attendreEvenement(SDL_Event& evenement) {
    evenement = SDL_Event{};
    if (SDL_WaitEvent(&evenement) == 0) {
        evenement.type = SDL_NOEVENT;
    }
}

bool demandeDeSortie(const SDL_Event& evenement) {
    return evenement.type == SDL_QUIT ||
           (evenement.type == SDL_KEYDOWN && evenement.key.keysym.sym == SDLK_ESCAPE);
}
