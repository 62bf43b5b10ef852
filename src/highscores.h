// The high-score screen and the reading of the score file.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdint>

// Reads up to five scores into the caller's table, best first; entries the
// file does not provide keep their values. A missing or unreadable file only
// gets its message on the error stream.
void recupHighScores(int32_t tableHighScores[5]);

// Shows the table in a 600x450 window, then restores the 800x600 window. The
// menu's background and font are received but neither used nor released.
void voirHighScores(SDL_Surface* surfaceEcran, SDL_Surface* fondMenu, TTF_Font* policeMenu);
