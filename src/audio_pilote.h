// The sound device opened through the driver the platform prefers, SDL's own order else.
#pragma once

// Opens the sound device: `ouvrir` starts SDL's audio and opens SDL_mixer's
// device, and says whether it did. A driver the player names in
// SDL_AUDIODRIVER is always the one. Each platform chooses in its own way
// (audio_pilote_pipewire.cpp, audio_pilote_windows.cpp).
bool ouvrirPeripherique(bool (*ouvrir)());
