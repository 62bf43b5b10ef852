// Scripted events and a virtual clock standing in for SDL's, so a screen's loop runs in a test.
//
// The test binary is linked with --wrap over SDL's clock and events, flips, blits, text
// rendering, picture and font loading and the sound operations but the opening: the screens
// call them as usual, the script answers and notes what they draw, play and hold.
#pragma once

#include "audio.h"
#include "dossier.h"
#include "ecran.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace scenario {

// A text drawn on the display: its top left corner and its centre, on an opaque box or
// anti-aliased, in a font of which style (TTF_STYLE_...).
struct Dessin {
    std::string texte;
    int x, y, centreX, centreY;
    bool ombre;
    int style;
};

// A frame shown: when, at what size, under which caption, with the texts drawn on it.
struct Image {
    uint32_t instant;
    int largeur, hauteur;
    std::string titre;
    std::vector<Dessin> textes;
};

// The virtual clock, the events still due, and what the program did, in order.
struct Journal {
    uint32_t horloge = 0;
    uint32_t dureeImage = 16; // what one flip costs
    std::deque<std::pair<uint32_t, SDL_Event>> file;
    std::vector<Image> images;
    std::vector<Dessin> dessins; // drawn since the last flip
    // What was done with each song or sample, by its path ("PlaySong SetLooping(1)..."), and
    // when each sample was played.
    std::map<std::string, std::string> sons;
    std::map<std::string, std::vector<uint32_t>> joues;
    // Called on every flip once its image is noted, before the clock moves.
    std::function<void()> surFlip;
};

inline Journal journal;
// What the game holds, by what it is: kept apart from the journal, which a test starts afresh
// for each case, so that what a case forgets is still there at the end.
inline std::map<const void*, std::string> vivants;

// Starts a new script: the clock reads `debut` ms, no event is due, nothing is noted.
inline void reinitialiser(uint32_t debut) {
    journal = Journal{};
    journal.horloge = debut;
}

// An event due at an instant of the virtual clock, after those given before: a key pressed
// (`detail` its symbol), a button pressed or released (`detail` the button), or any other.
void evenement(uint32_t instant, Uint8 type, int detail = SDL_BUTTON_LEFT);

// The game's data as the working directory (dossier.h). Once a screen or the whole program has
// returned, the game must hold nothing: what the test leaves held fails it.
class Dossier : public DossierDeDonnees {
  protected:
    ~Dossier() override {
        for (const auto& [objet, quoi] : vivants) {
            ADD_FAILURE() << quoi << " not released";
        }
        vivants.clear();
    }
};

} // namespace scenario
