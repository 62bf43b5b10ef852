// Drawing helpers shared by the screens: window mode, frame start, placement, text.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

// Sets a 32-bit double-buffered video mode of w x h and returns the new
// display surface. Flips then wait for the display's refresh.
SDL_Surface* ouvrirFenetre(int largeur, int hauteur);

// Starts a frame: sets the window caption and fills the display with white.
void commencerImage(SDL_Surface* ecran, const char* titre);

// Draws the whole image with its top-left corner at (x, y), clipped to the
// display. A missing image (null) draws nothing.
void dessinerA(SDL_Surface* ecran, SDL_Surface* image, int x, int y);

// Draws the image centred on the display (halves truncated toward zero).
void dessinerCentre(SDL_Surface* ecran, SDL_Surface* image);

// Renders a Latin-1 text in black: on an opaque white box when `ombre` is
// true, anti-aliased on a transparent background otherwise. Null when the
// font is missing.
SDL_Surface* rendreTexte(TTF_Font* police, const char* texte, bool ombre);

// Opens a font with a style; null when the file cannot be read.
TTF_Font* ouvrirPolice(const char* chemin, int taille, int style);

// Waits for the next event; an error from the event queue reads as no event.
void attendreEvenement(SDL_Event& evenement);

// Escape or the window's close button: the player wants to leave the screen.
bool demandeDeSortie(const SDL_Event& evenement);
