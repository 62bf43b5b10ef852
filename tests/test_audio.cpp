// Sound layer: songs, samples and what the device hears of them, through the ten operations.
#include "audio.h"
#include "carte_son.h"
#include "fichiers_audio.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    return carte::rendre(static_cast<int>(std::lround(secondes * frequence)));
}

// 0 only for true silence.
double rms(const Echantillons& s, double debut = 0.0, double fin = 1e6) {
    const auto a = s.begin() + std::min<long>(std::ssize(s), std::lround(debut * frequence) * 2);
    const auto b = s.begin() + std::min<long>(std::ssize(s), std::lround(fin * frequence) * 2);
    return a < b ? std::sqrt(std::inner_product(a, b, a, 0.0) / static_cast<double>(b - a)) : 0.0;
}

// The first frame where `a` and `b` differ by more than FluidSynth's
// dithering, or -1.
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
        // Death tests start the program again rather than fork it.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        carte::choisir(carte::Mode::virtuelle);
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
    // A sample of 0.2 s holding `valeur` throughout.
    FSOUND_SAMPLE* constant(int valeur) {
        return FSOUND_Sample_Load(
            FSOUND_FREE, ecrire(fichierWav(frequence, 8820, -valeur, 8820)).c_str(), 0, 0, 0);
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
    FMUSIC_PlaySong(piano);
    const Echantillons attendu = rendre(0.3);
    EXPECT_GT(rms(attendu, 0.0, 0.012), audible) << "not heard from the first buffer";
    FMUSIC_StopSong(piano);
    EXPECT_EQ(rms(rendre(0.1)), 0.0) << "a stopped song still sounds";
    FMUSIC_PlaySong(piano);
    EXPECT_EQ(ecart(rendre(0.3), attendu), -1) << "a stopped song did not restart";
    FMUSIC_PlaySong(orgue);
    rendre(0.2);
    FMUSIC_PlaySong(piano);
    EXPECT_EQ(ecart(rendre(0.3), attendu), -1) << "the organ's sound or instrument lingers";
    FMUSIC_FreeSong(piano);
    EXPECT_EQ(rms(rendre(0.1)), 0.0) << "a playing song freed still sounds";
    // Looping turned off in the second pass of a song never set before, so
    // that it loops: the song ends with that pass, and stays so once stopped.
    FMUSIC_PlaySong(orgue);
    rendre(1.2);
    FMUSIC_SetLooping(orgue, 0);
    const Echantillons fin = rendre(1.8);
    EXPECT_GT(rms(fin, 0.1, 0.3), audible) << "the second pass cut short";
    EXPECT_LT(rms(fin, 1.1, 1.3), audible) << "a third pass";
    FMUSIC_StopSong(orgue);
    FMUSIC_PlaySong(orgue);
    const Echantillons unePasse = rendre(1.5);
    EXPECT_GT(rms(unePasse, 0.0, 0.3), audible);
    EXPECT_LT(rms(unePasse, 1.1, 1.3), audible) << "the looping setting lost on stop";
    FMUSIC_FreeSong(orgue);
}

TEST_F(Audio, SamplesStartAtOnceOverlapAndTheOldestGivesWay) {
    FSOUND_SAMPLE* premier = constant(1000);
    FSOUND_SAMPLE* autre = constant(10);
    ASSERT_NE(premier, nullptr);
    FSOUND_PlaySound(FSOUND_FREE, premier);
    EXPECT_EQ(rendre(0.001)[0], 1000) << "the first frame missed the next buffer";
    // 31 more fill every channel; one more takes the place of the first.
    for (int i = 0; i < 31; ++i) {
        FSOUND_PlaySound(FSOUND_FREE, autre);
    }
    EXPECT_EQ(rendre(0.001)[0], 1000 + 31 * 10) << "sounds do not overlap";
    FSOUND_PlaySound(FSOUND_FREE, autre);
    EXPECT_EQ(rendre(0.001)[0], 32 * 10) << "not the oldest sound that gave way";
    FSOUND_Sample_Free(autre);
    EXPECT_EQ(rms(rendre(0.01)), 0.0) << "a freed sample still sounds";
    FSOUND_Sample_Free(premier);
}

TEST_F(Audio, OnlyFilesSafeAndCheapToPlayLoad) {
    const std::string fifo = (dossier / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // What each file gives: a song (-1), a sample (1) or nothing (0).
    std::vector<std::tuple<std::string, std::string, int>> cas = {
        {"a note", ecrire(note()), -1},
        {"4000 Hz", ecrire(fichierWav(4000, 100, 1000, 100)), 1},
        {"a song over 1 MiB", ecrire(note(), (1 << 20) + 1), 0},
        {"66 note-ons and 624 volume changes a buffer", ecrire(morceauLimite(Limite::notes)), -1},
        {"one note more in a buffer", ecrire(morceauLimite(Limite::notes, true)), 0},
        {"57 resets, 43 controller resets and 4 notes a buffer",
         ecrire(morceauLimite(Limite::sysex)), -1},
        {"one note more among them", ecrire(morceauLimite(Limite::sysex, true)), 0},
        {"a 0.104-second loop", ecrire(morceauLimite(Limite::boucle)), -1},
        {"a 0.099-second loop", ecrire(morceauLimite(Limite::boucle, true)), 0},
        {"67,400 events, 16 sent at the loop", ecrire(morceauLimite(Limite::evenements)), -1},
        {"one event more", ecrire(morceauLimite(Limite::evenements, true)), 0},
        // SDL_mixer's conversion buffer would be the length times 176,400.
        {"4096 s at 1 Hz once converted", ecrire(fichierWav(1, 4096, 1000, 100, 1, 8)), 0},
        {"10 s at 1 Hz once converted", ecrire(fichierWav(1, 10, 1000, 100, 1, 8)), 1},
        {"384000 Hz", ecrire(fichierWav(384000, 4000, 1000, 100)), 1},
        {"three channels", ecrire(fichierWav(44100, 400, 1000, 100, 3)), 0},
        {"less than a frame", ecrire(fichierWav(22050, 0, 1000, 100, 2, 16, 3)), 0},
        {"over 30 s once converted", ecrire(fichierWav(4000, 30 * 4000 + 1, 1000, 100)), 0},
        {"over 8 MiB", ecrire(fichierWav(22050, 50, 1000, 100), (8 << 20) + 1), 0},
        {"8-bit stereo at 48000 Hz", ecrire(fichierWav(48000, 100, 100, 10, 2, 8)), 1},
        {"a partial frame at the end", ecrire(fichierWav(22050, 100, 1000, 100, 2, 16, 3)), 1},
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
        FSOUND_PlaySound(FSOUND_FREE, son);
        rendre(0.05);
        FSOUND_Sample_Free(son);
    }
    // Without a sound card songs still load and play, in silence; samples do
    // not load.
    FSOUND_Close();
    carte::choisir(carte::Mode::absente);
    FSOUND_Init(frequence, 32, 0);
    FMUSIC_MODULE* m = FMUSIC_LoadSong(std::get<1>(cas[0]).c_str());
    FMUSIC_PlaySong(m);
    EXPECT_NE(m, nullptr);
    EXPECT_EQ(FSOUND_Sample_Load(FSOUND_FREE, std::get<1>(cas[1]).c_str(), 0, 0, 0), nullptr);
    FMUSIC_FreeSong(m);
}

// Music a player might bring: the 31 songs of Debian's openttd-openmsx, game
// music written elsewhere, each load and are heard.
TEST_F(Audio, RealSongsLoadAndAreHeard) {
    std::vector<fs::path> musiques;
    for (const auto& entree : fs::directory_iterator("/usr/share/games/openttd/baseset/openmsx")) {
        if (entree.path().extension() == ".mid") {
            musiques.push_back(entree.path());
        }
    }
    ASSERT_EQ(musiques.size(), 31u);
    for (const fs::path& chemin : musiques) {
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        EXPECT_NE(m, nullptr) << chemin;
        FMUSIC_PlaySong(m);
        EXPECT_GT(rms(rendre(4.0)), audible) << chemin;
        FMUSIC_FreeSong(m);
    }
}

// Through SDL's own device, in a process of its own: SDL's disk driver runs a
// sound thread at the pace of a card and writes what it is given to a file.
// The menu quits SDL, which closes the device, before it closes the sound
// layer; the program may also end with a song playing. Nothing may hang,
// crash or leak (the sanitizer build checks).
TEST_F(Audio, OnADeviceASongIsHeardFromItsBeginning) {
    auto ecouter = [this] {
        FSOUND_Close();
        const std::string sortie = (dossier / "peripherique.raw").string();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", sortie.c_str(), 1);
        carte::choisir(carte::Mode::reelle);
        FSOUND_Init(frequence, 32, 0);
        FMUSIC_MODULE* m = FMUSIC_LoadSong(ecrire(note()).c_str());
        FMUSIC_PlaySong(m);
        // At most 10 s for a second of sound, from its first non-zero frame.
        Echantillons recu;
        for (int i = 0; i < 200 && recu.size() < static_cast<size_t>(frequence); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            recu.resize(fs::file_size(sortie) / 2);
            std::ifstream(sortie).read(reinterpret_cast<char*>(recu.data()),
                                       static_cast<std::streamsize>(2 * recu.size()));
            recu = sonore(recu);
        }
        SDL_Quit();
        FSOUND_Close();
        // The same song on the tests' card, for comparison; the program then
        // ends with it playing.
        carte::choisir(carte::Mode::virtuelle);
        FSOUND_Init(frequence, 32, 0);
        FMUSIC_PlaySong(m);
        const Echantillons attendu = sonore(rendre(0.3));
        fs::remove_all(dossier);
        recu.resize(std::min(recu.size(), attendu.size()));
        return attendu.empty() || recu.size() < attendu.size() ? 1
               : ecart(attendu, recu) != -1                    ? 2
                                                               : 0;
    };
    // 1: not heard; 2: not heard from its beginning; other: a crash or leak.
    EXPECT_EXIT(std::exit(ecouter()), testing::ExitedWithCode(0), "");
}

} // namespace
