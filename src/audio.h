// Music and sound effects: the ten operations the screens use, in the manner of FMOD 3.
#pragma once

// Song and sample handles are opaque; a null handle means the load failed,
// and every operation below accepts one and does nothing with it.
struct FMUSIC_MODULE;
struct FSOUND_SAMPLE;

// Channel index meaning "any free channel".
constexpr int FSOUND_FREE = -1;

// C linkage: tests stand in for these at link time by their plain names.
extern "C" {

// Sets the sound layer up at `frequence` Hz with `canaux` channels for the
// samples (at most 32) and returns at once: the device and the synthesizer
// are opened when a sound is first needed. Without a sound device songs
// still load, and play in silence; samples do not load.
bool FSOUND_Init(int frequence, int canaux, unsigned int drapeaux);
// Safe with nothing open and after SDL_Quit; FSOUND_Init may follow again.
void FSOUND_Close();

// Reads and checks a whole Standard MIDI File; null when it is missing, not a
// regular file, malformed, or costlier to play than allowed (audio_midi.h).
FMUSIC_MODULE* FMUSIC_LoadSong(const char* chemin);
// Starts the song from its beginning on a synthesizer as new, replacing
// whatever song was playing.
void FMUSIC_PlaySong(FMUSIC_MODULE* musique);
// 1 loops the song, 0 plays it once; a song never given a setting loops.
void FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle);
void FMUSIC_StopSong(FMUSIC_MODULE* musique);
// Stops the song first if it is playing.
void FMUSIC_FreeSong(FMUSIC_MODULE* musique);

// Loads a whole WAV file converted to the device's format (`mode`, `debut`
// and `longueur` are ignored); null without a sound device, or when the file
// is missing, not a regular file or refused by audio_wav.h.
FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* chemin, unsigned int mode, int debut,
                                  int longueur);
// Starts the sample on a free channel, or else on the one that has sounded
// longest, and returns at once: sounds overlap.
void FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son);
// Silences the channels playing the sample, then frees it.
void FSOUND_Sample_Free(FSOUND_SAMPLE* son);
}
