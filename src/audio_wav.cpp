// Sound effects: a WAV file read whole and converted to the mixer's format, within bounds.
#include "audio_wav.h"

#include "fichiers.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace {

struct LibererWav {
    void operator()(Uint8* tampon) const {
        SDL_FreeWAV(tampon);
    }
};

} // namespace

std::vector<int16_t> chargerWav(const char* chemin, int frequence) {
    // The very file that was checked, never the path a second time.
    SDL_RWops* flux = ouvrirDonnees(chemin, tailleMaxWav);
    if (flux == nullptr) {
        return {};
    }
    SDL_AudioSpec format{};
    Uint8* brut = nullptr;
    Uint32 longueur = 0;
    if (SDL_LoadWAV_RW(flux, 1, &format, &brut, &longueur) == nullptr) {
        return {};
    }
    const std::unique_ptr<Uint8, LibererWav> tampon(brut);
    const int octetsParTrame = (format.format & 0xFF) / 8 * format.channels;
    if (format.freq < frequenceMinWav || format.freq > frequenceMaxWav || octetsParTrame <= 0 ||
        tampon == nullptr) {
        return {};
    }
    // Whole frames only: a partial frame at the end would be read past.
    const uint64_t trames = longueur / static_cast<uint64_t>(octetsParTrame);
    const uint64_t tramesConverties =
        trames * static_cast<uint64_t>(frequence) / static_cast<uint64_t>(format.freq);
    if (trames == 0 || tramesConverties > static_cast<uint64_t>(secondesMaxWav) * frequence) {
        return {};
    }
    const int octetsEntiers = static_cast<int>(trames) * octetsParTrame;

    SDL_AudioCVT conversion{};
    if (SDL_BuildAudioCVT(&conversion, format.format, format.channels, format.freq, AUDIO_S16SYS, 2,
                          frequence) < 0 ||
        static_cast<uint64_t>(octetsEntiers) *
                static_cast<uint64_t>(std::max(conversion.len_mult, 1)) >
            INT_MAX) {
        return {};
    }
    std::vector<Uint8> octets(static_cast<size_t>(octetsEntiers) *
                              static_cast<size_t>(std::max(conversion.len_mult, 1)));
    std::memcpy(octets.data(), tampon.get(), static_cast<size_t>(octetsEntiers));
    size_t taille = static_cast<size_t>(octetsEntiers);
    if (conversion.needed != 0) {
        conversion.buf = octets.data();
        conversion.len = octetsEntiers;
        if (SDL_ConvertAudio(&conversion) != 0 || conversion.len_cvt < 0) {
            return {};
        }
        taille = std::min(static_cast<size_t>(conversion.len_cvt), octets.size());
    }
    std::vector<int16_t> donnees(taille / 4 * 2);
    std::memcpy(donnees.data(), octets.data(), donnees.size() * sizeof(int16_t));
    return donnees;
}
