// Direct access to the mixer for tests and benchmarks; the screens never use it.
#pragma once

#include <cstdint>

struct FMUSIC_MODULE;

// Mixes `trames` stereo frames (interleaved 16-bit) exactly as the sound
// device would receive them. Meant for when no device is open. It first waits
// for the synthesizer, so that a render holds the same sound however long
// the SoundFont took to load.
void audioRendre(int16_t* sortie, int trames);

// Sample voices currently sounding.
int audioVoixActives();

// Frames per device buffer obtained from the sound device; 0 without one.
int audioTailleTampon();

// Length of a loaded song in seconds, up to its last event; 0 for null.
double audioDureeMusique(const FMUSIC_MODULE* musique);

// Whether a song is playing; after its last event, the fading of its last
// notes and a grace of about two seconds still count.
bool audioMusiqueEnCours();

// When a sample voice was first heard: the CLOCK_MONOTONIC time, in seconds,
// at which the mixer put its first frame into a buffer (the buffer's start
// plus the frame's offset in it).
struct FSOUND_SAMPLE;
struct DebutVoix {
    const FSOUND_SAMPLE* son;
    double instant;
};

// The latest voices started, oldest first: at most `taille` of the last 64.
// Returns how many were written.
int audioDebutsVoix(DebutVoix* sortie, int taille);
