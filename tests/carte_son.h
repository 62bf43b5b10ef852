// A sound card of the tests' own: the mixer's buffers are pulled one by one, when a test asks.
//
// The test binaries define SDL_OpenAudio themselves, which SDL_mixer then
// calls instead of SDL's: SDL's dummy device opens as usual, but its sound
// thread gets silence and the mixer's callback is kept for the tests, so what
// the ten operations do is heard in the very next buffer a test renders, the
// same every time.
#pragma once

#include <cstdint>
#include <vector>

namespace carte {

// Whether the next opening of the device finds a card (by default it does),
// and the rate it then opens at, whatever the mixer asks.
void brancher(bool presente, int frequence = 44100);

// Renders at least that many seconds' worth of frames at 44100 Hz (stereo,
// interleaved 16-bit) through the mixer, in whole 512-frame buffers as the
// device asks for them. Silence when no device is open.
std::vector<int16_t> rendre(double secondes);

} // namespace carte
