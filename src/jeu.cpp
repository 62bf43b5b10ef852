// The click game and the submission of its score.
#include "jeu.h"

void jouer(SDL_Surface*, TTF_Font*) {}

void sauverHighScores(int32_t) {}
