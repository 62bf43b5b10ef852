// Music and sound effects (placeholder: loads nothing).
#include "audio.h"
#include "audio_rendu.h"

#include <cstring>

bool FSOUND_Init(int, int, unsigned int) {
    return true;
}
void FSOUND_Close() {}
FMUSIC_MODULE* FMUSIC_LoadSong(const char*) {
    return nullptr;
}
void FMUSIC_PlaySong(FMUSIC_MODULE*) {}
void FMUSIC_SetLooping(FMUSIC_MODULE*, int) {}
void FMUSIC_StopSong(FMUSIC_MODULE*) {}
void FMUSIC_FreeSong(FMUSIC_MODULE*) {}
FSOUND_SAMPLE* FSOUND_Sample_Load(int, const char*, unsigned int, int, int) {
    return nullptr;
}
void FSOUND_PlaySound(int, FSOUND_SAMPLE*) {}
void FSOUND_Sample_Free(FSOUND_SAMPLE*) {}
void audioRendre(int16_t* sortie, int trames) {
    std::memset(sortie, 0, sizeof(int16_t) * 2 * static_cast<size_t>(trames));
}
int audioVoixActives() {
    return 0;
}
int audioTailleTampon() {
    return 0;
}
