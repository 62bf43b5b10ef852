// The rules page.
#pragma once

#include <SDL.h>

void instructions(SDL_Surface* surfaceEcran);
