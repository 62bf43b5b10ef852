// The credits page shown on the way out.
#pragma once

#include <SDL.h>

// Shows the credits in a 300x500 window for 10.1 seconds or until Escape or
// a close request, then clears `continuer` so that the menu shuts down.
void quitter(SDL_Surface* surfaceEcran, bool& continuer);
