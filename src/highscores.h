// The high-score screen and the reading of the score file.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>
#include <cstddef>
#include <cstdint>

// Name of the score file, in the working directory.
constexpr const char* FICHIER_HIGHSCORES = "highscores.tallyvault";

// Reads up to five scores into the caller's table, best first; entries the
// file does not provide keep their values. A missing or unreadable file only
// gets its message on the error stream.
void recupHighScores(int32_t tableHighScores[5]);

// Opens the score file and locks it: shared for reading, exclusive for
// rewriting, so a rewrite is never seen half done. Anything but a regular file
// counts as missing. Returns the descriptor, or -1.
int ouvrirHighScores(bool pourEcrire);

// Reads the scores at the start of the open file into the table, best first,
// the way "%d" would scan them (white space, optional sign, digits), each
// clamped to the 32-bit range. Stops at the first entry that does not parse;
// it and the later ones keep their values. The reading looks at no more than
// LIMITE_LECTURE bytes, read a small piece at a time: a file that needs more
// before its table is complete counts as unreadable, rather than read in
// part and later rewritten from zeros. Returns false, with the table
// untouched, when the file cannot be read.
bool lireHighScores(int descripteur, int32_t tableHighScores[5]);
// Far more than five numbers need, even in a file padded by hand.
constexpr size_t LIMITE_LECTURE = size_t{1} << 20;

// Shows the table in a 600x450 window, then restores the 800x600 window. The
// menu's background and font are received but neither used nor released.
void voirHighScores(SDL_Surface* surfaceEcran, SDL_Surface* fondMenu, TTF_Font* policeMenu);
