// The click game and the submission of its score.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdint>

// Runs one game on the 800x600 window until the player leaves. The menu's
// font is received but neither used nor closed.
void jouer(SDL_Surface* surfaceEcran, TTF_Font* policeMenu);

// Ranks `score` into the score file, dropping the lowest entry. A file that
// cannot be read in full or rewritten is left as it is, with a message on the
// error stream. True when the score went into the file.
bool sauverHighScores(int32_t score);
