// Sound layer and loaders: songs, samples, pictures, fonts, and what the device hears.
//
// The songs and sounds are small files of tests/corpus_midi/ and tests/sons/
// (their README says what each holds).
#include "audio.h"
#include "carte_son.h"
#include "ecran.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;
using Echantillons = std::vector<int16_t>;

constexpr int frequence = 44100;
constexpr double audible = 100.0;
const std::string musiques = PRESSATHON_TESTS_DIR "/corpus_midi/";
const std::string sons = PRESSATHON_TESTS_DIR "/sons/";

// 0 only for true silence.
double rms(const Echantillons& s, double debut = 0.0, double fin = 1e6) {
    const auto a = s.begin() + std::min<long>(std::ssize(s), std::lround(debut * frequence) * 2);
    const auto b = s.begin() + std::min<long>(std::ssize(s), std::lround(fin * frequence) * 2);
    return a < b ? std::sqrt(std::inner_product(a, b, a, 0.0) / static_cast<double>(b - a)) : 0.0;
}

// One channel of stereo frames: 0 left, 1 right.
Echantillons voie(const Echantillons& s, size_t c) {
    Echantillons v;
    for (size_t i = c; i < s.size(); i += 2) {
        v.push_back(s[i]);
    }
    return v;
}

// The first frame where `a` and `b` differ by more than FluidSynth's
// dithering, or -1.
long ecart(const Echantillons& a, const Echantillons& b) {
    const auto p = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                 [](int16_t x, int16_t y) { return std::abs(x - y) <= 8; });
    return p.first == a.end() || p.second == b.end() ? -1 : (p.first - a.begin()) / 2;
}

class Audio : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
    }
    void TearDown() override {
        FSOUND_Close();
    }
};

TEST_F(Audio, SongsStartFromTheirBeginningOnACleanSynthesizerAndStopWhenAsked) {
    // A piano note, then an organ note on the same channel.
    FMUSIC_MODULE* piano = FMUSIC_LoadSong((musiques + "note-piano.mid").c_str());
    FMUSIC_MODULE* orgue = FMUSIC_LoadSong((musiques + "note-orgue.mid").c_str());
    FMUSIC_PlaySong(piano);
    const Echantillons attendu = carte::rendre(0.3);
    EXPECT_GT(rms(attendu, 0.0, 0.012), audible) << "not heard from the first buffer";
    EXPECT_GT(std::min(rms(voie(attendu, 0)), rms(voie(attendu, 1))), audible / 2)
        << "not heard on both channels";
    FMUSIC_StopSong(piano);
    EXPECT_EQ(rms(carte::rendre(0.1)), 0.0) << "a stopped song still sounds";
    FMUSIC_PlaySong(piano);
    EXPECT_EQ(ecart(carte::rendre(0.3), attendu), -1) << "a stopped song did not restart";
    FMUSIC_PlaySong(orgue);
    carte::rendre(0.2);
    FMUSIC_PlaySong(piano);
    EXPECT_EQ(ecart(carte::rendre(0.3), attendu), -1) << "the organ's sound or instrument lingers";
    FMUSIC_FreeSong(piano);
    EXPECT_EQ(rms(carte::rendre(0.1)), 0.0) << "a playing song freed still sounds";
    // Looping turned off in the second pass of a song never set before, so
    // that it loops: the song ends with that pass, and stays so once stopped.
    FMUSIC_PlaySong(orgue);
    carte::rendre(1.2);
    FMUSIC_SetLooping(orgue, 0);
    const Echantillons fin = carte::rendre(1.8);
    EXPECT_GT(rms(fin, 0.1, 0.3), audible) << "the second pass cut short";
    EXPECT_LT(rms(fin, 1.1, 1.3), audible) << "a third pass";
    FMUSIC_StopSong(orgue);
    FMUSIC_PlaySong(orgue);
    const Echantillons unePasse = carte::rendre(1.5);
    EXPECT_GT(rms(unePasse, 0.0, 0.3), audible);
    EXPECT_LT(rms(unePasse, 1.1, 1.3), audible) << "the looping setting lost on stop";
    FMUSIC_FreeSong(orgue);
}

TEST_F(Audio, SamplesStartAtOnceOverlapAndTheOldestGivesWay) {
    FSOUND_SAMPLE* premier =
        FSOUND_Sample_Load(FSOUND_FREE, (sons + "constant-1000.wav").c_str(), 0, 0, 0);
    FSOUND_SAMPLE* autre =
        FSOUND_Sample_Load(FSOUND_FREE, (sons + "constant-10.wav").c_str(), 0, 0, 0);
    FSOUND_PlaySound(FSOUND_FREE, premier);
    EXPECT_EQ(carte::rendre(0.001)[0], 1000) << "the first frame missed the next buffer";
    carte::rendre(0.25);
    // Once it has ended, a quiet sound, the loud one, 30 quiet ones: every channel sounds. The next
    // two take the place of the two oldest, the second that of the loud one.
    FSOUND_PlaySound(FSOUND_FREE, autre);
    FSOUND_PlaySound(FSOUND_FREE, premier);
    for (int i = 0; i < 30; ++i) {
        FSOUND_PlaySound(FSOUND_FREE, autre);
    }
    EXPECT_EQ(carte::rendre(0.001)[0], 1000 + 31 * 10) << "sounds do not overlap";
    FSOUND_PlaySound(FSOUND_FREE, autre);
    EXPECT_EQ(carte::rendre(0.001)[0], 1000 + 31 * 10) << "not the oldest sound that gave way";
    FSOUND_PlaySound(FSOUND_FREE, autre);
    EXPECT_EQ(carte::rendre(0.001)[0], 32 * 10) << "not the oldest sound that gave way";
    FSOUND_Sample_Free(autre);
    EXPECT_EQ(rms(carte::rendre(0.01)), 0.0) << "a freed sample still sounds";
    FSOUND_Sample_Free(premier);
}

TEST_F(Audio, OnlyFilesSafeAndCheapToPlayLoad) {
    // Too large files: copies of small ones, padded.
    const fs::path dossier = fs::temp_directory_path() / ("test_audio_" + std::to_string(getpid()));
    fs::create_directories(dossier);
    const auto agrandie = [&](const std::string& source, uintmax_t taille) {
        const fs::path copie =
            dossier / (std::to_string(taille) + fs::path(source).filename().string());
        fs::copy_file(source, copie);
        fs::resize_file(copie, taille);
        return copie.string();
    };
    ASSERT_EQ(mkfifo((dossier / "fifo").c_str(), 0600), 0);
    // What each file gives when loaded as each thing: a song (m), a sample (s), a picture (i),
    // a font (p).
    const std::pair<std::string, std::string> cas[] = {
        {musiques + "note-piano.mid", "m"},
        {sons + "4000hz.wav", "s"},
        {agrandie(musiques + "note-orgue.mid", 1 << 20), "m"},
        {agrandie(musiques + "note-orgue.mid", (1 << 20) + 1), ""},
        {agrandie(sons + "trame-partielle.wav", 8 << 20), "s"},
        // The costliest songs the check accepts, and one event or a little
        // time beyond: bursts of note-ons and volume changes, or of resets,
        // the shortest loop, the most events parsed at each pass.
        {musiques + "limite-notes.mid", "m"},
        {musiques + "limite-notes-plus.mid", ""},
        {musiques + "limite-sysex.mid", "m"},
        {musiques + "limite-sysex-plus.mid", ""},
        {musiques + "limite-boucle.mid", "m"},
        {musiques + "limite-boucle-plus.mid", ""},
        {musiques + "limite-evenements.mid", "m"},
        {musiques + "limite-evenements-plus.mid", ""},
        {musiques + "limite-octets.mid", "m"},
        {musiques + "limite-octets-plus.mid", ""},
        {musiques + "textes-33000.mid", ""},
        {musiques + "dense-1mio.mid", ""},
        // Files the player would spin on, or read past their end.
        {musiques + "tempo-nul.mid", ""},
        {musiques + "ticks-1us.mid", ""},
        {musiques + "tempos-boucle-courte.mid", ""},
        {musiques + "smpte.mid", ""},
        {musiques + "division-nulle.mid", ""},
        {musiques + "piste-trop-longue.mid", ""},
        {musiques + "pistes-127.mid", "m"},
        {musiques + "pistes-128.mid", ""},
        // SDL_mixer's conversion buffer would be the length times 176,400.
        {sons + "1hz-4096s.wav", ""},
        {sons + "1hz-10s.wav", "s"},
        {sons + "384000hz.wav", "s"},
        {sons + "trois-voies.wav", ""},
        {sons + "moins-qu-une-trame.wav", ""},
        {sons + "plus-de-30s.wav", ""},
        {agrandie(sons + "4000hz.wav", (8 << 20) + 1), ""},
        {sons + "48000hz-8bits-stereo.wav", "s"},
        {sons + "trame-partielle.wav", "s"},
        // A whole PNG of at most 4096 pixels a side: a few bytes can claim gigabytes of pixels.
        {PRESSATHON_DATA_DIR "/IMG/icone.png", "i"},
        {PRESSATHON_TESTS_DIR "/images/large.png", ""},
        {PRESSATHON_TESTS_DIR "/images/haute.png", ""},
        {PRESSATHON_DATA_DIR "/journal.ttf", "p"},
        // Opening a FIFO for reading would wait for a writer for ever.
        {(dossier / "fifo").string(), ""},
        {(dossier / "absent").string(), ""},
    };
    TTF_Init();
    for (const auto& [chemin, attendu] : cas) {
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        FSOUND_SAMPLE* son = FSOUND_Sample_Load(FSOUND_FREE, chemin.c_str(), 0, 0, 0);
        SDL_Surface* image = chargerImage(chemin.c_str());
        TTF_Font* police = ouvrirPolice(chemin.c_str(), 20, TTF_STYLE_NORMAL);
        EXPECT_EQ(std::string(m ? "m" : "") + (son ? "s" : "") + (image ? "i" : "") +
                      (police ? "p" : ""),
                  attendu)
            << chemin;
        FSOUND_PlaySound(FSOUND_FREE, son);
        carte::rendre(0.05);
        FMUSIC_FreeSong(m);
        FSOUND_Sample_Free(son);
        SDL_FreeSurface(image);
        if (police != nullptr) {
            TTF_CloseFont(police);
        }
    }
    TTF_Quit();
    fs::remove_all(dossier);
}

// Music a player might bring: the 31 songs of Debian's openttd-openmsx, game
// music written elsewhere, and songs shaped like those sequencers write to
// loop, each load and are heard.
TEST_F(Audio, RealSongsLoadAndAreHeard) {
    std::vector<fs::path> chemins;
    for (const auto& entree : fs::directory_iterator("/usr/share/games/openttd/baseset/openmsx")) {
        chemins.push_back(entree.path());
    }
    for (const char* nom :
         {"boucle-12-pistes.mid", "boucle-15-pistes.mid", "boucle-17-pistes.mid"}) {
        chemins.push_back(musiques + nom);
    }
    ASSERT_EQ(std::ranges::count(chemins, ".mid", &fs::path::extension), 34);
    for (const fs::path& chemin : chemins) {
        if (chemin.extension() == ".mid") {
            FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
            EXPECT_NE(m, nullptr) << chemin;
            FMUSIC_PlaySong(m);
            EXPECT_GT(rms(carte::rendre(4.0)), audible) << chemin;
            FMUSIC_FreeSong(m);
        }
    }
}

} // namespace
