// Sound layer: songs, samples and their mix, rendered without a sound device.
#include "audio.h"
#include "audio_rendu.h"
#include "fichiers_audio.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int frequence = 44100;
// At the default tempo (120 beats a minute) and 480 ticks a beat.
constexpr int ticksParSeconde = 960;

uint32_t ticks(double secondes) {
    return static_cast<uint32_t>(secondes * ticksParSeconde);
}

// One note on channel 0, optionally after a program change.
Octets note(double debut, double fin, double finMorceau, int programme = -1) {
    std::vector<EvenementMidi> e{{ticks(debut), {0x90, 60, 110}}, {ticks(fin), {0x80, 60, 0}}};
    if (programme >= 0) {
        e.push_back({0, {0xC0, static_cast<unsigned char>(programme)}});
    }
    return fichierMidi(e, ticks(finMorceau));
}

// 16-bit mono at 22050 Hz, so loading has to convert it: a loud square wave.
Octets sonCarre(uint32_t trames) {
    return fichierWav(22050, trames, 8000, 25);
}

std::vector<int16_t> rendre(double secondes) {
    std::vector<int16_t> sortie(2 * static_cast<size_t>(std::lround(secondes * frequence)));
    audioRendre(sortie.data(), static_cast<int>(sortie.size() / 2));
    return sortie;
}

double rms(const std::vector<int16_t>& s, double debut, double fin) {
    const size_t a = std::min(s.size(), 2 * static_cast<size_t>(debut * frequence));
    const size_t b = std::min(s.size(), 2 * static_cast<size_t>(fin * frequence));
    double somme = 0.0;
    for (size_t i = a; i < b; ++i) {
        somme += static_cast<double>(s[i]) * s[i];
    }
    return b > a ? std::sqrt(somme / static_cast<double>(b - a)) : 0.0;
}

// Largest magnitude from `debut` seconds on.
int crete(const std::vector<int16_t>& s, double debut = 0.0) {
    int m = 0;
    for (size_t i = std::min(s.size(), 2 * static_cast<size_t>(debut * frequence)); i < s.size();
         ++i) {
        m = std::max(m, std::abs(static_cast<int>(s[i])));
    }
    return m;
}

constexpr double audible = 100.0;

class Audio : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
        char modele[] = "/tmp/test_audio_XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier = modele;
    }
    void TearDown() override {
        FSOUND_Close();
        fs::remove_all(dossier);
    }
    std::string ecrire(const std::string& nom, const Octets& octets) const {
        const std::string chemin = (dossier / nom).string();
        std::ofstream(chemin, std::ios::binary)
            .write(reinterpret_cast<const char*>(octets.data()),
                   static_cast<std::streamsize>(octets.size()));
        return chemin;
    }
    FMUSIC_MODULE* charger(const Octets& octets) {
        return FMUSIC_LoadSong(ecrire("m" + std::to_string(compteur++) + ".mid", octets).c_str());
    }
    fs::path dossier;
    int compteur = 0;
};

TEST_F(Audio, SongSoundsStopsAndRestartsFromItsBeginning) {
    // An organ holds its note until the end of the 1-second song.
    FMUSIC_MODULE* m = charger(note(0.0, 1.0, 1.0, 19));
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(audioDureeMusique(m), 1.0, 0.01);
    FMUSIC_PlaySong(m);
    const std::vector<int16_t> debut = rendre(0.5);
    EXPECT_GT(rms(debut, 0.05, 0.5), audible);

    FMUSIC_StopSong(m);
    EXPECT_FALSE(audioMusiqueEnCours());
    EXPECT_EQ(crete(rendre(0.5)), 0);

    FMUSIC_PlaySong(m);
    const std::vector<int16_t> reprise = rendre(0.5);
    ASSERT_EQ(reprise.size(), debut.size());
    for (size_t i = 0; i < debut.size(); ++i) {
        ASSERT_NEAR(reprise[i], debut[i], 8) << "frame " << i / 2;
    }
    FMUSIC_FreeSong(m);
    EXPECT_EQ(crete(rendre(0.1)), 0) << "freeing a playing song stops it";
}

TEST_F(Audio, LoopingIsOnUntilTurnedOffAndSurvivesStopAndPlay) {
    FMUSIC_MODULE* m = charger(note(0.0, 0.5, 0.5, 19));
    ASSERT_NE(m, nullptr);
    FMUSIC_PlaySong(m);
    std::vector<int16_t> s = rendre(2.0);
    for (double t = 0.0; t < 1.9; t += 0.1) {
        EXPECT_GT(rms(s, t, t + 0.1), audible) << "silent at " << t << " s";
    }

    // Turned off while playing, before its first pass is even parsed.
    FMUSIC_PlaySong(m);
    FMUSIC_SetLooping(m, 0);
    s = rendre(3.0);
    EXPECT_GT(rms(s, 0.05, 0.45), audible);
    EXPECT_EQ(crete(s, 2.0), 0);
    rendre(2.0);
    EXPECT_FALSE(audioMusiqueEnCours());

    FMUSIC_StopSong(m);
    FMUSIC_PlaySong(m);
    s = rendre(3.0);
    EXPECT_GT(rms(s, 0.05, 0.45), audible);
    EXPECT_LT(rms(s, 1.0, 3.0), 1.0) << "the setting was lost across stop and play";

    // Turned off during a later pass, then on again.
    FMUSIC_SetLooping(m, 1);
    FMUSIC_PlaySong(m);
    rendre(0.7);
    FMUSIC_SetLooping(m, 0);
    s = rendre(3.0);
    EXPECT_GT(rms(s, 0.0, 0.2), audible);
    EXPECT_LT(rms(s, 1.5, 3.0), 1.0);
    FMUSIC_FreeSong(m);
}

TEST_F(Audio, NextSongStartsFromACleanSynthesizer) {
    // B plays a note at 0.5 s on channel 0 with the default instrument.
    const Octets b = note(0.5, 1.0, 1.5);
    FMUSIC_MODULE* seule = charger(b);
    ASSERT_NE(seule, nullptr);
    FMUSIC_PlaySong(seule);
    const std::vector<int16_t> attendu = rendre(512.0 * 120 / frequence);
    FMUSIC_FreeSong(seule);

    // A changes channel 0's instrument, bends it and holds a note for 10 s.
    FMUSIC_MODULE* a = charger(fichierMidi(
        {{0, {0xC0, 19}}, {0, {0xE0, 0x00, 0x60}}, {0, {0xB0, 7, 70}}, {0, {0x90, 64, 120}}},
        ticks(10.0)));
    FMUSIC_MODULE* apres = charger(b);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(apres, nullptr);
    FMUSIC_PlaySong(a);
    EXPECT_GT(rms(rendre(512.0 * 40 / frequence), 0.1, 0.4), audible);
    FMUSIC_PlaySong(apres);
    std::vector<int16_t> ecart = rendre(512.0 * 120 / frequence);
    EXPECT_EQ(rms(ecart, 0.0, 0.5), 0.0) << "A's note still sounds";
    ASSERT_EQ(ecart.size(), attendu.size());
    EXPECT_GT(rms(attendu, 0.5, 1.0), audible);
    // Rendering is repeatable to within a few units.
    std::transform(ecart.begin(), ecart.end(), attendu.begin(), ecart.begin(),
                   [](int16_t x, int16_t y) { return static_cast<int16_t>(x - y); });
    EXPECT_LT(rms(ecart, 0.0, 2.0), 1.0);
    EXPECT_LE(crete(ecart), 8);
    FMUSIC_FreeSong(a);
    FMUSIC_FreeSong(apres);
}

TEST_F(Audio, SamplesStartAtOnceShareAtMost32VoicesAndStopWhenFreed) {
    FSOUND_SAMPLE* son =
        FSOUND_Sample_Load(FSOUND_FREE, ecrire("s.wav", sonCarre(22050)).c_str(), 0, 0, 0);
    ASSERT_NE(son, nullptr);
    FSOUND_PlaySound(FSOUND_FREE, son);
    EXPECT_EQ(audioVoixActives(), 1);
    EXPECT_GT(rms(rendre(512.0 / frequence), 0.0, 1.0), 1000.0);

    for (int i = 0; i < 40; ++i) {
        FSOUND_PlaySound(FSOUND_FREE, son);
        EXPECT_LE(audioVoixActives(), 32);
    }
    EXPECT_EQ(audioVoixActives(), 32);
    // Loud enough together to clip, which must saturate rather than wrap.
    EXPECT_GE(crete(rendre(0.05)), 32767);
    // Converted to 44100 Hz, the 1-second sample ends after one second.
    rendre(0.9);
    EXPECT_EQ(audioVoixActives(), 32);
    rendre(0.06);
    EXPECT_EQ(audioVoixActives(), 0);
    EXPECT_EQ(crete(rendre(0.1)), 0);

    FSOUND_PlaySound(FSOUND_FREE, son);
    FSOUND_Sample_Free(son);
    EXPECT_EQ(audioVoixActives(), 0);
    EXPECT_EQ(crete(rendre(0.1)), 0);
}

TEST_F(Audio, MalformedFilesGiveNull) {
    const Octets bon = note(0.0, 0.5, 0.5);
    // Overwrites from `position`; a longer replacement extends the file.
    auto modifie = [&bon](size_t position, const Octets& octets) {
        Octets o = bon;
        o.resize(std::max(o.size(), position + octets.size()));
        std::copy(octets.begin(), octets.end(), o.begin() + static_cast<long>(position));
        return o;
    };
    FMUSIC_MODULE* temoin = charger(bon);
    ASSERT_NE(temoin, nullptr) << "the untouched file must load";
    FMUSIC_FreeSong(temoin);
    temoin = charger(modifie(bon.size(), Octets((1 << 20) - bon.size(), 0)));
    EXPECT_NE(temoin, nullptr) << "trailing bytes up to 1 MiB are allowed";
    FMUSIC_FreeSong(temoin);
    for (size_t taille = 0; taille < bon.size(); ++taille) {
        EXPECT_EQ(charger(Octets(bon.begin(), bon.begin() + static_cast<long>(taille))), nullptr)
            << "cut at " << taille;
    }
    const std::vector<std::pair<const char*, Octets>> mauvais = {
        {"garbage", Octets(300, 0xA5)},
        {"no track", modifie(10, {0, 0})},
        {"SMPTE time", modifie(12, {0xE7, 0x28})},
        {"chunk longer than the file", modifie(18, {0, 0, 1, 0})},
        {"5-byte delta", modifie(22, {0x81, 0x81, 0x81, 0x81, 0x81})},
        {"data byte without status", modifie(22, {0x00, 60})},
        {"lasts 0 ticks", note(0.0, 0.0, 0.0)},
        {"unknown chunk first", modifie(14, {'X', 'Y', 'Z', 'W'})},
        {"over 1 MiB", modifie(bon.size(), Octets((1 << 20) + 1 - bon.size(), 0))},
    };
    for (const auto& [nom, octets] : mauvais) {
        EXPECT_EQ(charger(octets), nullptr) << nom;
    }
    EXPECT_EQ(FMUSIC_LoadSong((dossier / "absent.mid").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(dossier.c_str()), nullptr) << "a directory";

    const Octets wav = sonCarre(1000);
    for (const std::string& chemin : {(dossier / "absent.wav").string(), ecrire("midi.wav", bon),
                                      ecrire("court.wav", Octets(wav.begin(), wav.begin() + 30))}) {
        EXPECT_EQ(FSOUND_Sample_Load(FSOUND_FREE, chemin.c_str(), 0, 0, 0), nullptr) << chemin;
    }
}

TEST_F(Audio, NullHandlesAndRepeatedStartAndShutdownAreHarmless) {
    FMUSIC_PlaySong(nullptr);
    FMUSIC_SetLooping(nullptr, 1);
    FMUSIC_StopSong(nullptr);
    FMUSIC_FreeSong(nullptr);
    FSOUND_PlaySound(FSOUND_FREE, nullptr);
    FSOUND_Sample_Free(nullptr);
    EXPECT_EQ(crete(rendre(0.05)), 0);

    FMUSIC_MODULE* m = charger(note(0.0, 1.0, 1.0, 19));
    ASSERT_NE(m, nullptr);
    FMUSIC_PlaySong(m);
    FSOUND_Close();
    FSOUND_Close();
    EXPECT_EQ(crete(rendre(0.05)), 0);
    // The menu shuts SDL down before the sound library.
    ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
    SDL_Quit();
    FSOUND_Close();
    ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
    FMUSIC_PlaySong(m);
    EXPECT_GT(rms(rendre(0.3), 0.05, 0.3), audible);
    FMUSIC_FreeSong(m);
}

// The game's own songs, when they are there.
TEST_F(Audio, GameSongsSoundAtOnceAndLoopWithoutAGap) {
    const fs::path dossierMusique = fs::path(PRESSATHON_DATA_DIR) / "MUSIC";
    const std::vector<std::pair<const char*, bool>> chansons = {
        {"menu.mid", true},         {"jeu01.mid", true},    {"highscores.mid", true},
        {"instructions.mid", true}, {"credits.mid", false},
    };
    int trouvees = 0;
    for (const auto& [nom, boucle] : chansons) {
        const fs::path chemin = dossierMusique / nom;
        if (!fs::exists(chemin)) {
            continue;
        }
        ++trouvees;
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        ASSERT_NE(m, nullptr) << nom;
        const double duree = audioDureeMusique(m);
        RecordProperty(nom, std::to_string(duree));
        std::printf("%s: %.2f s\n", nom, duree);
        FMUSIC_SetLooping(m, boucle ? 1 : 0);
        FMUSIC_PlaySong(m);
        const std::vector<int16_t> s = rendre(duree + 1.0);
        EXPECT_GT(rms(s, 0.0, 1.0), audible) << nom;
        if (boucle) {
            // The second pass sounds like the first, not like the last notes fading.
            EXPECT_GT(rms(s, duree + 0.5, duree + 1.0), 0.5 * rms(s, 0.5, 1.0)) << nom;
            // 10-ms windows across the loop point: none silent 50 ms in a row.
            int silencieuses = 0;
            for (double t = std::max(0.0, duree - 0.3); t < duree + 0.3; t += 0.01) {
                silencieuses = rms(s, t, t + 0.01) < 20.0 ? silencieuses + 1 : 0;
                EXPECT_LT(silencieuses, 5) << nom << " falls silent at " << t << " s";
            }
        }
        FMUSIC_FreeSong(m);
    }
    if (trouvees == 0) {
        GTEST_SKIP() << "no song in " << dossierMusique;
    }
}

} // namespace
