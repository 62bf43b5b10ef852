// The score file: its name and format, its lock, its reading, and the ranking of a score into it.
//
// The file holds the five best counts as decimal numbers, best first, the way
// "%d %d %d %d %d" writes them. It is installed with the game and never
// created: without it no score is kept.
#pragma once

#include <cstddef>
#include <cstdint>

// Name of the score file, in the working directory.
constexpr const char* FICHIER_HIGHSCORES = "highscores.tallyvault";

// Reads up to five scores into the table, best first, the way "%d" would
// scan them (white space, optional sign, digits), each clamped to the 32-bit
// range. Reading stops at the first entry that does not parse; it and the
// later ones keep their values. False, with the table untouched, when the
// file is missing, not a regular file, or cannot be read.
bool lireScores(int32_t tableHighScores[5]);

// What became of a score submitted to the file.
enum class Depot {
    entre,     // ranked and written: the file holds the new table
    sansEffet, // not ranked: the file is as it was
    echec,     // the file is missing, unreadable or could not be rewritten: as it was
};

// Ranks `score` into the file with strict comparisons, dropping the lowest
// entry: the first rank whose entry is below it while the one above is above
// it. A score equal to an entry it meets is not inserted. The file is locked
// from its reading to its rewrite, so two games ending together both keep
// their scores, and whenever the program stops and whatever the disk refuses,
// it reads as the old table or the new one.
Depot deposerScore(int32_t score);

// The reading looks at no more than this many bytes, a small piece at a
// time: a file that needs more before its table is complete counts as
// unreadable, rather than read in part and later rewritten from zeros. Far
// more than five numbers need, even in a file padded by hand.
constexpr size_t LIMITE_LECTURE = size_t{1} << 20;

// What each platform provides (fichier_scores_posix.cpp, fichier_scores_windows.cpp),
// on a descriptor from ouvrirFichierRegulier. C linkage: tests stand in for
// these at link time by their plain names.
extern "C" {

// Waits for the file's lock, shared or exclusive. False when the file system
// has no locks: the file is then used as it was before locks existed.
bool verrouillerFichier(int fichier, bool exclusif);
bool deverrouillerFichier(int fichier);
// The file's size, or -1.
int64_t tailleFichier(int fichier);
// Writes at `position`, as much as the system takes at once: the count
// written, or -1 when it takes nothing (a full disk, a size limit).
long ecrireA(int fichier, const char* octets, size_t taille, int64_t position);
// Cuts the file to `taille` bytes.
bool tronquerFichier(int fichier, int64_t taille);
// Waits until what was written is on the disk.
bool synchroniserFichier(int fichier);
}
