// Opening the game's data files safely: regular files only, never blocking.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The same file as an SDL stream that closes the file when it is closed, so
// that the libraries read the very file that was checked; null when the file
// counts as missing (see ouvrirFichierRegulier) or is larger than `tailleMax`
// bytes.
SDL_RWops* ouvrirDonnees(const char* chemin, int64_t tailleMax);

// The whole file, read from the descriptor that was checked; empty when the
// file counts as missing, is larger than `tailleMax` bytes, grows while it
// is read, or cannot be read.
std::vector<unsigned char> lireFichierRegulier(const char* chemin, int64_t tailleMax);

// What each platform provides (fichiers_posix.cpp, fichiers_windows.cpp).

// Where the General MIDI SoundFont may be, in the order to try.
std::vector<std::string> cheminsSoundFont();

// C linkage: tests stand in for these at link time by their plain names.
extern "C" {

// Opens a file only when it is a regular file, for reading or, with
// `ecriture`, for reading and writing. The open cannot block: a FIFO, a
// device or a directory in the file's place counts as missing, like an absent
// file. Returns a descriptor that no child process inherits, or -1; `taille`
// receives the file's size.
int ouvrirFichierRegulier(const char* chemin, int64_t* taille, bool ecriture);

// Reads up to `taille` bytes at `position`, going on after an interrupted
// call: the count read, 0 at the end of the file, -1 on an error.
long lireA(int fichier, void* octets, size_t taille, int64_t position);

// False when the system reports an error on closing (a write it could not
// complete).
bool fermerFichier(int fichier);

// The descriptor as a C stream for reading, which owns it from then on; null
// on failure, the descriptor then still open.
std::FILE* fluxDeFichier(int fichier);
}
