// Sound effects: a WAV file let through to SDL_mixer only within bounds it converts safely.
//
// SDL_mixer converts a sample in one buffer of the decoded length times SDL's
// growth factor, computed in 32 bits: a crafted file would overflow it or ask
// for gigabytes. SDL reads it here first, and SDL_mixer again if it passes.
#include "audio_wav.h"

#include "fichiers.h"

#include <algorithm>
#include <climits>
#include <cstdint>

SDL_RWops* ouvrirWav(const char* chemin, int frequence, Uint16 format, int canaux) {
    // The very file that was checked, never the path a second time.
    SDL_RWops* flux = ouvrirDonnees(chemin, tailleMaxWav);
    if (flux == nullptr) {
        return nullptr;
    }
    SDL_AudioSpec lu{};
    Uint8* son = nullptr;
    Uint32 longueur = 0;
    const bool charge = SDL_LoadWAV_RW(flux, 0, &lu, &son, &longueur) != nullptr;
    SDL_FreeWAV(son);
    const int octetsParTrame = (lu.format & 0xFF) / 8 * lu.channels;
    bool admis =
        charge && lu.freq > 0 && (lu.channels == 1 || lu.channels == 2) && octetsParTrame > 0;
    if (admis) {
        const uint64_t trames = longueur / static_cast<uint64_t>(octetsParTrame);
        const uint64_t converties =
            trames * static_cast<uint64_t>(frequence) / static_cast<uint64_t>(lu.freq);
        SDL_AudioCVT conversion{};
        admis =
            trames > 0 && converties <= static_cast<uint64_t>(secondesMaxWav) * frequence &&
            SDL_BuildAudioCVT(&conversion, lu.format, lu.channels, lu.freq, format,
                              static_cast<Uint8>(canaux), frequence) >= 0 &&
            uint64_t{longueur} * static_cast<uint64_t>(std::max(conversion.len_mult, 1)) <= INT_MAX;
    }
    if (!admis || SDL_RWseek(flux, 0, RW_SEEK_SET) != 0) {
        SDL_RWclose(flux);
        return nullptr;
    }
    return flux;
}
