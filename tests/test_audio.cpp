// Sound layer: songs, samples and their mix, rendered without a sound device or through SDL's.
#include "audio.h"
#include "audio_rendu.h"
#include "fichiers_audio.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using Echantillons = std::vector<int16_t>;

constexpr int frequence = 44100;
constexpr double audible = 100.0;

// A note on channel 0 for the first half of a 1-second song.
Octets note() {
    return fichierMidi({{0, {0x90, 60, 110}}, {480, {0x80, 60, 0}}}, 960);
}

Echantillons rendre(double secondes) {
    Echantillons sortie(2 * static_cast<size_t>(std::lround(secondes * frequence)));
    audioRendre(sortie.data(), static_cast<int>(sortie.size() / 2));
    return sortie;
}

// 0 only for true silence.
double rms(const Echantillons& s, double debut = 0.0, double fin = 1e6) {
    const auto a = s.begin() + std::min<long>(std::ssize(s), std::lround(debut * frequence) * 2);
    const auto b = s.begin() + std::min<long>(std::ssize(s), std::lround(fin * frequence) * 2);
    return a < b ? std::sqrt(std::inner_product(a, b, a, 0.0) / static_cast<double>(b - a)) : 0.0;
}

// The first frame where `a` and `b` differ by more than a rounding, or -1.
long ecart(const Echantillons& a, const Echantillons& b) {
    const auto p = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                 [](int16_t x, int16_t y) { return std::abs(x - y) <= 8; });
    return p.first == a.end() || p.second == b.end() ? -1 : (p.first - a.begin()) / 2;
}

// From the first sound on.
Echantillons sonore(const Echantillons& s) {
    return Echantillons(std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; }),
                        s.end());
}

class Audio : public ::testing::Test {
  protected:
    void SetUp() override {
        // Death tests start the program again rather than fork it: the
        // sound layer runs threads.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
        char modele[] = "/tmp/test_audio_XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier = modele;
    }
    void TearDown() override {
        FSOUND_Close();
        fs::remove_all(dossier);
    }
    // A file of `octets`, padded with zeros to `taille` bytes.
    std::string ecrire(const Octets& octets, size_t taille = 0) {
        const std::string chemin = (dossier / std::to_string(compteur++)).string();
        std::ofstream(chemin) << std::string(octets.begin(), octets.end());
        fs::resize_file(chemin, std::max(taille, octets.size()));
        return chemin;
    }
    fs::path dossier;
    int compteur = 0;
};

TEST_F(Audio, SongsStartFromTheirBeginningOnACleanSynthesizerAndStopWhenAsked) {
    // A piano note, then an organ note on the same channel.
    FMUSIC_MODULE* piano = FMUSIC_LoadSong(ecrire(note()).c_str());
    FMUSIC_MODULE* orgue = FMUSIC_LoadSong(
        ecrire(fichierMidi({{0, {0xC0, 19}}, {0, {0x90, 60, 110}}, {480, {0x80, 60, 0}}}, 960))
            .c_str());
    FMUSIC_PlaySong(piano); // while the synthesizer is still being built
    const Echantillons attendu = rendre(0.3);
    EXPECT_GT(rms(attendu, 0.0, 0.01), audible) << "not heard from the first buffer";
    FMUSIC_StopSong(piano);
    FMUSIC_PlaySong(piano);
    EXPECT_EQ(ecart(rendre(0.3), attendu), -1) << "a stopped song did not restart";
    FMUSIC_PlaySong(orgue);
    rendre(0.2);
    FMUSIC_PlaySong(piano);
    EXPECT_EQ(ecart(rendre(0.3), attendu), -1) << "the organ's sound or instrument lingers";
    FMUSIC_FreeSong(piano);
    EXPECT_EQ(rms(rendre(0.1)), 0.0) << "a playing song freed still sounds";
    // Looping turned off in the second pass of a song never set before, so
    // that it loops: the song ends with that pass.
    FMUSIC_PlaySong(orgue);
    rendre(1.2);
    FMUSIC_SetLooping(orgue, 0);
    const Echantillons fin = rendre(1.8);
    EXPECT_GT(rms(fin, 0.1, 0.3), audible) << "the second pass cut short";
    EXPECT_LT(rms(fin, 1.1, 1.3), audible) << "a third pass";
    FMUSIC_FreeSong(orgue);
}

TEST_F(Audio, SamplesStartAtOnceStealTheOldestVoiceAndClipOnce) {
    // 0.1 s at the mixing rate: -8000 and +8000 in turn from frame to frame,
    // and +8000 throughout.
    FSOUND_SAMPLE* moins = FSOUND_Sample_Load(
        FSOUND_FREE, ecrire(fichierWav(frequence, 4410, 8000, 1)).c_str(), 0, 0, 0);
    FSOUND_SAMPLE* plus = FSOUND_Sample_Load(
        FSOUND_FREE, ecrire(fichierWav(frequence, 4410, -8000, 4410)).c_str(), 0, 0, 0);
    const double tampon = 512.0 / frequence;
    FSOUND_PlaySound(FSOUND_FREE, moins);
    EXPECT_EQ(rendre(tampon)[0], -8000) << "the first frame missed the next buffer";
    // With the first voice, back on a frame of -8000, 16 voices of each sign:
    // they cancel out, however far their partial sums go.
    for (int i = 0; i < 31; ++i) {
        FSOUND_PlaySound(FSOUND_FREE, i < 16 ? plus : moins);
    }
    EXPECT_EQ(rendre(tampon)[0], 0) << "the sum was clipped before it was complete";
    // The 16 voices that sounded longest give way to negative ones: the sum
    // clips rather than wraps around.
    for (int i = 0; i < 16; ++i) {
        FSOUND_PlaySound(FSOUND_FREE, moins);
    }
    EXPECT_EQ(rendre(tampon)[0], -32768) << "not the oldest voices taken, or the sum wrapped";
    FSOUND_Sample_Free(moins);
    FSOUND_Sample_Free(plus);
    EXPECT_EQ(rms(rendre(tampon)), 0.0) << "freed samples still sound";
}

TEST_F(Audio, OnlyFilesSafeAndCheapToPlayLoad) {
    std::vector<EvenementMidi> clairseme(5000, {0, {0xC0, 1}});
    for (uint32_t i = 0; i < clairseme.size(); ++i) {
        clairseme[i].tick = 40 * i;
    }
    const std::string fifo = (dossier / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // What each file gives: a song (-1), a sample (1) or nothing (0).
    std::vector<std::tuple<std::string, std::string, int>> cas = {
        {"a song over 1 MiB", ecrire(note(), (1 << 20) + 1), 0},
        {"64 note-ons a buffer", ecrire(morceauLimite(Limite::notes)), -1},
        {"65 note-ons in a buffer", ecrire(morceauLimite(Limite::notes, true)), 0},
        {"8 resets a buffer", ecrire(morceauLimite(Limite::sysex)), -1},
        {"9 resets in a buffer", ecrire(morceauLimite(Limite::sysex, true)), 0},
        {"a 0.104-second loop", ecrire(morceauLimite(Limite::boucle)), -1},
        {"a 0.099-second loop", ecrire(morceauLimite(Limite::boucle, true)), 0},
        {"5001 events, however sparse", ecrire(fichierMidi(clairseme, 40 * 5000)), 0},
        // SDL's conversion buffer would be the length times 705,600.
        {"1 Hz, 8-bit mono", ecrire(fichierWav(1, 4096, 1000, 100, 1, 8)), 0},
        {"192001 Hz", ecrire(fichierWav(192001, 400, 1000, 100)), 0},
        {"less than a frame", ecrire(fichierWav(22050, 0, 1000, 100, 2, 16, 3)), 0},
        {"no sound", ecrire(fichierWav(22050, 0, 1000, 100)), 0},
        {"over 30 s once converted", ecrire(fichierWav(4000, 30 * 4000 + 1, 1000, 100)), 0},
        {"over 8 MiB", ecrire(fichierWav(22050, 50, 1000, 100), (8 << 20) + 1), 0},
        {"4000 Hz", ecrire(fichierWav(4000, 100, 1000, 100)), 1},
        {"a partial frame at the end", ecrire(fichierWav(44100, 100, 1000, 100, 2, 16, 3)), 1},
        // Opening a FIFO for reading would wait for a writer for ever.
        {"a FIFO", fifo, 0},
        {"no file", (dossier / "absent").string(), 0},
    };
    for (const auto& [nom, chemin, attendu] : cas) {
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        EXPECT_EQ(m != nullptr, attendu < 0) << nom;
        FMUSIC_FreeSong(m);
        FSOUND_SAMPLE* son = FSOUND_Sample_Load(FSOUND_FREE, chemin.c_str(), 0, 0, 0);
        EXPECT_EQ(son != nullptr, attendu > 0) << nom;
        FSOUND_Sample_Free(son);
    }
}

// Through a sound device, in a process of its own as SDL looks for no device
// again where it found none: SDL's disk driver runs a sound thread at the
// pace of a card and writes what it is given to a file. Then the sound layer
// is closed after SDL_Quit, closed while the SoundFont loads, and the
// program ends while it loads: nothing may hang, crash or leak (the
// sanitizer build checks).
TEST_F(Audio, OnADeviceASongIsHeardFromItsBeginningAndTheSoundFontLoadingNeverStandsInTheWay) {
    auto ecouter = [this] {
        const std::string sortie = (dossier / "peripherique.raw").string();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", sortie.c_str(), 1);
        // Never freed, as the program may end without freeing its songs.
        static FMUSIC_MODULE* const m = FMUSIC_LoadSong(ecrire(note()).c_str());
        FMUSIC_PlaySong(m); // while the SoundFont loads
        Echantillons recu;
        for (int i = 0; i < 200 && recu.size() < static_cast<size_t>(frequence); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            recu.resize(fs::file_size(sortie) / 2);
            std::ifstream(sortie).read(reinterpret_cast<char*>(recu.data()),
                                       static_cast<std::streamsize>(2 * recu.size()));
            recu = sonore(recu);
        }
        // The menu quits SDL, which closes the device, before it closes the
        // sound layer: meanwhile the same song, rendered here, with the
        // synthesizer ready.
        SDL_Quit();
        FMUSIC_PlaySong(m);
        const Echantillons attendu = sonore(rendre(0.3));
        fs::remove_all(dossier);
        recu.resize(std::min(recu.size(), attendu.size()));
        // Closed while the SoundFont loads, started again, and the program
        // ends while it loads, without a device from here on.
        setenv("SDL_AUDIODRIVER", "aucun", 1);
        for (int fois = 0; fois < 2; ++fois) {
            FSOUND_Close();
            FSOUND_Init(frequence, 32, 0);
            FMUSIC_PlaySong(m);
        }
        return attendu.empty() || recu.size() < attendu.size() ? 1
               : ecart(attendu, recu) != -1                    ? 2
                                                               : 0;
    };
    // 1: not heard; 2: not heard from its beginning; other: a crash or leak.
    EXPECT_EXIT(std::exit(ecouter()), testing::ExitedWithCode(0), "");
}

} // namespace
