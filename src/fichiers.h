// Opening the game's data files safely: regular files only, never blocking.
#pragma once

#include <SDL.h>
#include <sys/types.h>

#include <vector>

// Opens a file only when it is a regular file, for reading or, with
// `ecriture`, for reading and writing. The open cannot block: a FIFO, a
// device or a directory in the file's place counts as missing, like an absent
// file. Returns the descriptor (close-on-exec), or -1; `taille` receives the
// file's size.
int ouvrirFichierRegulier(const char* chemin, off_t& taille, bool ecriture = false);

// The same file as an SDL stream that closes the descriptor when it is
// closed, so that the libraries read the very file that was checked; null
// when the file counts as missing or is larger than `tailleMax` bytes.
SDL_RWops* ouvrirDonnees(const char* chemin, off_t tailleMax);

// The whole file, read from the descriptor that was checked; empty when the
// file counts as missing, is larger than `tailleMax` bytes, grows while it
// is read, or cannot be read.
std::vector<unsigned char> lireFichierRegulier(const char* chemin, off_t tailleMax);
