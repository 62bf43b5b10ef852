// Music and sound effects: the ten operations the screens use, in the manner of FMOD 3.
#pragma once

// Song and sample handles are opaque; a null handle means the load failed,
// and every operation below accepts one and does nothing with it.
struct FMUSIC_MODULE;
struct FSOUND_SAMPLE;

// Channel index meaning "any free channel".
constexpr int FSOUND_FREE = -1;

// C linkage keeps the symbol names plain, so tests can stand in for them at
// link time.
extern "C" {

// Sets the mixer up at `frequence` Hz with `canaux` sample voices (at most
// 32) and returns at once: the sound device is opened when a sound first
// plays, and the synthesizer is built on a thread of its own from the first
// song loaded. Without a sound device it still succeeds: everything loads and
// plays in silence.
bool FSOUND_Init(int frequence, int canaux, unsigned int drapeaux);
// Safe with nothing open and after SDL_Quit; FSOUND_Init may follow again.
void FSOUND_Close();

// Reads and checks a whole Standard MIDI File; null when it is missing, not a
// regular file, unreadable, malformed, or costlier to render than the mixer
// allows (audio_midi.h).
FMUSIC_MODULE* FMUSIC_LoadSong(const char* chemin);
// Starts the song from its beginning, replacing whatever song was playing;
// before the synthesizer is ready, as soon as it is.
void FMUSIC_PlaySong(FMUSIC_MODULE* musique);
// 1 loops the song, 0 plays it once; a song never given a setting loops.
void FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle);
void FMUSIC_StopSong(FMUSIC_MODULE* musique);
// Stops the song first if it is playing.
void FMUSIC_FreeSong(FMUSIC_MODULE* musique);

// Loads a WAV file converted to the mixer's format; null when it is missing,
// not a regular file, malformed, empty or beyond the bounds of audio_wav.h. `mode`, `debut` and
// `longueur` are accepted for the callers' sake; the whole file is always loaded.
FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* chemin, unsigned int mode, int debut,
                                  int longueur);
// Starts the sample on a free voice and returns at once; sounds may overlap.
void FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son);
// Silences the voices playing the sample, then frees it.
void FSOUND_Sample_Free(FSOUND_SAMPLE* son);
}
