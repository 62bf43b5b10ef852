// Sound layer: songs and samples, and what the device hears.
//
// The songs and sounds are small files of tests/corpus_midi/ and tests/sons/
// (their README says what each holds).
#include "audio.h"
#include "carte_son.h"
#include "ecran.h"

#include <gtest/gtest.h>

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
    // A card changed by a test, even one that failed, is the usual one again.
    void TearDown() override {
        FSOUND_Close();
        carte::brancher(true);
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
    // Set as the menu and the credits set theirs, as soon as the song starts: once, or for
    // ever.
    FMUSIC_PlaySong(orgue);
    FMUSIC_SetLooping(orgue, 0);
    const Echantillons credits = carte::rendre(1.5);
    EXPECT_GT(rms(credits, 0.0, 0.3), audible) << "a song played once not heard";
    EXPECT_LT(rms(credits, 1.1, 1.3), audible) << "a song played once heard twice";
    FMUSIC_PlaySong(orgue);
    FMUSIC_SetLooping(orgue, 1);
    EXPECT_GT(rms(carte::rendre(2.3), 2.0, 2.3), audible) << "a looping song ends";
    FMUSIC_FreeSong(orgue);
    // A note held across the loop rings on into the next pass, the synthesizer not reset.
    FMUSIC_MODULE* tenue = FMUSIC_LoadSong((musiques + "note-tenue.mid").c_str());
    FMUSIC_PlaySong(tenue);
    EXPECT_GT(rms(carte::rendre(1.4), 1.1, 1.4), audible) << "the loop cut the held note";
    FMUSIC_FreeSong(tenue);
}

TEST_F(Audio, ACardOpeningAtAnotherRateKeepsTheSongsTime) {
    // The organ's 1-second pass on a card at 48 kHz: silent just before its second pass, which
    // starts 48,000 frames in (1.088 s in the 44.1 kHz frames counted here), not 44,100.
    FSOUND_Close();
    carte::brancher(true, 48000);
    ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
    FMUSIC_MODULE* orgue = FMUSIC_LoadSong((musiques + "note-orgue.mid").c_str());
    FMUSIC_PlaySong(orgue);
    const Echantillons deuxPasses = carte::rendre(1.2);
    EXPECT_LT(rms(deuxPasses, 1.0, 1.08), audible) << "the song runs fast";
    EXPECT_GT(rms(deuxPasses, 1.1, 1.2), audible) << "the second pass not heard";
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
