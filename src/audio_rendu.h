// Direct access to the mixer for tests and benchmarks; the screens never use it.
#pragma once

#include <cstdint>

// Mixes `trames` stereo frames (interleaved 16-bit) exactly as the sound
// device would receive them. Meant for when no device is open.
void audioRendre(int16_t* sortie, int trames);

// Sample voices currently sounding.
int audioVoixActives();

// Frames per device buffer obtained from the sound device; 0 without one.
int audioTailleTampon();
