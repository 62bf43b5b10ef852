// The high-score screen and the reading of the score file.
#include "highscores.h"

void recupHighScores(int32_t[5]) {}

void voirHighScores(SDL_Surface*, SDL_Surface*, TTF_Font*) {}
