// Sound effects: a WAV file read whole and converted to the mixer's format, within bounds.
#pragma once

#include <cstdint>
#include <vector>

// Larger files are refused: the longest sound of the game is under 100 KiB.
constexpr long tailleMaxWav = 8L << 20;
// Sampling rates accepted, in Hz: below, converting multiplies the length
// beyond what SDL's 32-bit arithmetic holds.
constexpr int frequenceMinWav = 4000;
constexpr int frequenceMaxWav = 192000;
// The longest sound accepted once converted, in seconds.
constexpr int secondesMaxWav = 30;

// The file's sound as interleaved 16-bit stereo frames at `frequence` Hz;
// empty when the file is missing, not a regular file, malformed, empty, or
// outside the bounds above.
std::vector<int16_t> chargerWav(const char* chemin, int frequence);
