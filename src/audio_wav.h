// Sound effects: a WAV file let through to SDL_mixer only within bounds it converts safely.
#pragma once

#include <SDL.h>

// Larger files are refused: the longest sound of the game is under 100 KiB.
constexpr long tailleMaxWav = 8L << 20;
// The longest sound accepted once converted, in seconds.
constexpr int secondesMaxWav = 30;

// The file, opened and read back to its start, when it is a regular WAV file
// of one or two channels (SDL_mixer rounds the length of more with a bit mask,
// and could copy past its buffer), not empty, and within the bounds above
// once converted to `frequence` Hz, `format`, `canaux` channels.
SDL_RWops* ouvrirWav(const char* chemin, int frequence, Uint16 format, int canaux);
