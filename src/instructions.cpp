// The rules page.
#include "instructions.h"

void instructions(SDL_Surface*) {}
