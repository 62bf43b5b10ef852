// Drawing helpers shared by the screens: window mode, frame start, placement, text.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdint>

// Ends the program with status 1 and one line on the error stream, before
// anything is started, when no window could be shown: no display named in the
// environment, or an X server that cannot be reached. A video driver the
// player names in SDL_VIDEODRIVER is taken at its word. Each platform checks
// in its own way (affichage_x11.cpp, affichage_windows.cpp).
void verifierAffichage();

// Ends the program with status 1 and the line "Erreur Affichage: " and the
// reason on the error stream.
[[noreturn]] void arreterSansAffichage(const char* raison);

// Starts SDL's video with the libraries' own messages muted; ends the program
// like verifierAffichage when SDL could only draw off screen, unseen (unless
// the player asked for that driver).
void demarrerVideo();

// Sets a 32-bit double-buffered video mode of w x h and returns the new
// display surface. Flips do not wait for the display's refresh: each screen
// decides when it draws. A mode the display refuses ends the program with
// status 1 and one line on the error stream: every screen draws on the
// surface this returns.
SDL_Surface* ouvrirFenetre(int largeur, int hauteur);

// A still screen waiting for the player (the finished game; the credits,
// which also watch the clock) sleeps this long between two looks at its
// events: Escape or the close button is answered within a hundredth of a
// second, and the wait costs next to nothing, as SDL_WaitEvent's own.
constexpr uint32_t TRANCHE_REPOS = 10;

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

// Loads a PNG picture; null when the file is missing, not a regular file, or
// not a picture of a sensible size.
SDL_Surface* chargerImage(const char* chemin);

// Opens a font with a style; null when the file is missing, not a regular
// file, or not a font.
TTF_Font* ouvrirPolice(const char* chemin, int taille, int style);

// Waits for the next event; an error from the event queue reads as no event.
void attendreEvenement(SDL_Event& evenement);

// Escape or the window's close button: the player wants to leave the screen.
bool demandeDeSortie(const SDL_Event& evenement);
