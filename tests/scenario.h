// Scripted events and a virtual clock standing in for SDL's, so a screen's loop runs in a test.
//
// The test binaries that include this are linked with --wrap over SDL's clock
// and event functions, the caption, flips, blits, text rendering and the sound
// operations but the opening: the screens call them as usual and the script
// answers.
#pragma once

#include "audio.h"
#include "ecran.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace scenario {

// Starts a new script: the clock reads `debut` ms, no event is due, nothing
// is recorded, each flip takes 16 ms.
void reinitialiser(uint32_t debut = 0);

// An event due at an instant of the virtual clock, after those given before:
// a key pressed (`detail` its symbol), a button pressed or released (`detail`
// the button), pointer motion, the window uncovered or a close request.
void evenement(uint32_t instant, Uint8 type, int detail = SDL_BUTTON_LEFT);

// A sound operation, with the handle it took or returned; FMUSIC_SetLooping
// with its setting, as FMUSIC_SetLooping(1).
struct AppelAudio {
    std::string operation;
    const void* poignee;
    uint32_t instant;
};

// A frame shown: when, at what size, under which caption.
struct Image {
    uint32_t instant;
    int largeur;
    int hauteur;
    std::string titre;
};

// A text as rendered: on an opaque box or anti-aliased, in a font of which
// style (TTF_STYLE_...).
struct Texte {
    std::string texte;
    bool ombre;
    int style;
};

// A text drawn on the display, where, its size, and in which frame (its index
// in images()).
struct Dessin {
    Texte texte;
    int x;
    int y;
    int largeur;
    int hauteur;
    size_t image;
};

// The virtual clock, the script, and what the program did, in order.
struct Journal {
    uint32_t horloge = 0;
    // How long one flip takes on the virtual clock.
    uint32_t dureeImage = 16;
    std::vector<Image> images;
    std::vector<Dessin> dessins;
    // Every text rendered, drawn or not.
    std::vector<std::string> textes;
    std::vector<AppelAudio> appels;
    // Called on every flip with the surface shown, before the clock moves.
    std::function<void(SDL_Surface*)> surFlip;
    // Events still due, the last instant scripted, and whether the script
    // ran out while the program waited.
    std::deque<std::pair<uint32_t, SDL_Event>> file;
    uint32_t dernierInstant = 0;
    bool epuise = false;
    std::string titre;
    std::map<const SDL_Surface*, Texte> textesDesSurfaces;
};
Journal& journal();

// What the game holds now, by what it is: every picture, font, rendered text,
// song and sample it loaded and has not released yet.
std::map<const void*, std::string>& vivants();
// What is held, one per line, then forgotten: after a screen or the whole
// program has returned, nothing must be.
std::string fuites();

int nombreAppels(const std::string& operation);
// The handle of the `rang`-th call of an operation (FMUSIC_LoadSong...).
const void* poignee(const std::string& operation, size_t rang = 0);

// A temporary copy of the game's data that is the working directory while it
// lives, so that relative paths name its files.
class Dossier {
  public:
    Dossier();
    ~Dossier();
    Dossier(const Dossier&) = delete;
    Dossier& operator=(const Dossier&) = delete;

    void ecrire(const std::string& fichier, const std::string& contenu) const;
    std::string lire(const std::string& fichier) const;

  private:
    std::filesystem::path chemin_;
    std::filesystem::path ancien_;
};

// A screen's test: SDL, its fonts and the sound layer started, the menu's
// 800x600 window open, and a copy of the game's data.
class Ecran : public ::testing::Test {
  protected:
    void SetUp() override {
        SDL_Init(SDL_INIT_VIDEO);
        TTF_Init();
        FSOUND_Init(44100, 32, 0);
        ecran = ouvrirFenetre(800, 600);
    }
    void TearDown() override {
        EXPECT_EQ(fuites(), "") << "not released by the screen";
        FSOUND_Close();
        TTF_Quit();
        SDL_Quit();
    }

    Dossier dossier;
    SDL_Surface* ecran = nullptr;
};

} // namespace scenario
