// Mixing cost: CPU time of one 512-frame device buffer with the game's song and 32 clicks sounding.
//
// The tests' sound card (tests/carte_son.h) pulls the mixer's buffers on this
// thread, so its CPU clock times the mixing alone. Prints, for each of five
// rounds of 400 buffers, the mean share of one core that mixing takes on a
// device that asks for a buffer every 11.6 ms.
#include "audio.h"
#include "carte_son.h"

#include "temps_cpu.h"

#include <cstdio>
#include <string>

namespace {

constexpr int frequence = 44100;
constexpr int trames = 512;

} // namespace

int main(int argc, char* argv[]) {
    const std::string donnees = argc > 1 ? argv[1] : "data";
    FSOUND_Init(frequence, 32, 0);
    FMUSIC_MODULE* musique = FMUSIC_LoadSong((donnees + "/MUSIC/jeu01.mid").c_str());
    FSOUND_SAMPLE* clic =
        FSOUND_Sample_Load(FSOUND_FREE, (donnees + "/SFX/click.wav").c_str(), 0, 0, 0);
    if (musique == nullptr || clic == nullptr) {
        std::fputs("jeu01.mid or click.wav did not load\n", stderr);
        return 1;
    }
    FMUSIC_PlaySong(musique);
    // Past the first notes' attack, into the song proper.
    carte::rendre(40.0 * trames / frequence);
    for (int tour = 0; tour < 5; ++tour) {
        double cpu = 0;
        for (int i = 0; i < 400; ++i) {
            // Every channel busy: each click gives way to a new one from its start.
            for (int voix = 0; voix < 32; ++voix) {
                FSOUND_PlaySound(FSOUND_FREE, clic);
            }
            const double debut = tempsCpu();
            carte::rendre(static_cast<double>(trames) / frequence);
            cpu += tempsCpu() - debut;
        }
        std::printf("%.3f\n", 100 * cpu / 400 / (trames / static_cast<double>(frequence)));
    }
    FSOUND_Sample_Free(clic);
    FMUSIC_FreeSong(musique);
    FSOUND_Close();
    return 0;
}
