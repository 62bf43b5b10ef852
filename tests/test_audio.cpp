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
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Echantillons = std::vector<int16_t>;

constexpr int frequence = 44100;
constexpr double audible = 100.0;

// One note on channel 0, optionally after a program change; in seconds at
// the default tempo (120 beats a minute) and 480 ticks a beat.
Octets note(double debut, double fin, double finMorceau, int programme = -1) {
    auto t = [](double s) { return static_cast<uint32_t>(s * 960); };
    std::vector<EvenementMidi> e{{t(debut), {0x90, 60, 110}}, {t(fin), {0x80, 60, 0}}};
    if (programme >= 0) {
        e.push_back({0, {0xC0, static_cast<unsigned char>(programme)}});
    }
    return fichierMidi(e, t(finMorceau));
}

// A WAV header and `octets` bytes of sound.
Octets wav(uint32_t hz, uint16_t canaux, uint16_t bits, uint32_t octets) {
    Octets o{'R', 'I', 'F', 'F'};
    ajouterEntier(o, 36 + octets, 4, false);
    o.insert(o.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0});
    for (auto [valeur, taille] : {std::pair<uint32_t, int>{canaux, 2},
                                  {hz, 4},
                                  {hz * canaux * bits / 8, 4},
                                  {canaux * bits / 8, 2},
                                  {bits, 2}}) {
        ajouterEntier(o, valeur, taille, false);
    }
    o.insert(o.end(), {'d', 'a', 't', 'a'});
    ajouterEntier(o, octets, 4, false);
    o.resize(o.size() + octets, 0x40);
    return o;
}

Echantillons rendre(double secondes) {
    Echantillons sortie(2 * static_cast<size_t>(std::lround(secondes * frequence)));
    audioRendre(sortie.data(), static_cast<int>(sortie.size() / 2));
    return sortie;
}

double rms(const Echantillons& s, double debut, double fin) {
    const size_t a = std::min(s.size(), 2 * static_cast<size_t>(debut * frequence));
    const size_t b = std::min(s.size(), 2 * static_cast<size_t>(fin * frequence));
    double somme = 0.0;
    for (size_t i = a; i < b; ++i) {
        somme += static_cast<double>(s[i]) * s[i];
    }
    return b > a ? std::sqrt(somme / static_cast<double>(b - a)) : 0.0;
}

int crete(const Echantillons& s) {
    int m = 0;
    for (int16_t v : s) {
        m = std::max(m, std::abs(static_cast<int>(v)));
    }
    return m;
}

// The first frame where `a` and `b` differ by more than a rounding, or -1.
long ecart(const Echantillons& a, const Echantillons& b) {
    const auto p = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                 [](int16_t x, int16_t y) { return std::abs(x - y) <= 8; });
    return p.first == a.end() || p.second == b.end() ? -1 : (p.first - a.begin()) / 2;
}

// From the first sound on.
Echantillons sonore(const int16_t* debut, const int16_t* fin) {
    return Echantillons(std::find_if(debut, fin, [](int16_t v) { return v != 0; }), fin);
}

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
    std::string ecrire(const Octets& octets) {
        const std::string chemin = (dossier / std::to_string(compteur++)).string();
        std::ofstream(chemin, std::ios::binary)
            .write(reinterpret_cast<const char*>(octets.data()),
                   static_cast<std::streamsize>(octets.size()));
        return chemin;
    }
    FMUSIC_MODULE* charger(const Octets& octets) {
        return FMUSIC_LoadSong(ecrire(octets).c_str());
    }
    FSOUND_SAMPLE* chargerSon(const Octets& octets) {
        return FSOUND_Sample_Load(FSOUND_FREE, ecrire(octets).c_str(), 0, 0, 0);
    }
    fs::path dossier;
    int compteur = 0;
};

TEST_F(Audio, SongsSoundStopAndRestartFromTheirBeginningOnACleanSynthesizer) {
    // B plays a note at 0.5 s on channel 0 with the default instrument; A
    // changes that channel's instrument, bends it and holds a note for 10 s.
    FMUSIC_MODULE* b = charger(note(0.5, 1.0, 1.5));
    FMUSIC_MODULE* a = charger(fichierMidi(
        {{0, {0xC0, 19}}, {0, {0xE0, 0x00, 0x60}}, {0, {0xB0, 7, 70}}, {0, {0x90, 64, 120}}},
        960 * 10));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NEAR(audioDureeMusique(b), 1.5, 0.01);
    // Asked before the synthesizer is ready: starts as soon as it is.
    FMUSIC_PlaySong(b);
    const Echantillons attendu = rendre(1.4);
    EXPECT_GT(rms(attendu, 0.5, 1.0), audible);
    FMUSIC_PlaySong(a);
    EXPECT_GT(rms(rendre(0.4), 0.1, 0.4), audible);
    FMUSIC_StopSong(a);
    EXPECT_FALSE(audioMusiqueEnCours());
    EXPECT_EQ(crete(rendre(0.3)), 0);
    FMUSIC_PlaySong(a);
    rendre(0.3);
    FMUSIC_PlaySong(b);
    EXPECT_EQ(ecart(rendre(1.4), attendu), -1) << "A's sound lingers, or B did not restart";
    FMUSIC_FreeSong(b);
    EXPECT_EQ(crete(rendre(0.1)), 0) << "freeing a playing song stops it";
    FMUSIC_FreeSong(a);
}

TEST_F(Audio, LoopingIsOnUntilTurnedOffAndSurvivesStopAndPlay) {
    FMUSIC_MODULE* m = charger(note(0.0, 0.5, 0.5, 19));
    ASSERT_NE(m, nullptr);
    FMUSIC_PlaySong(m);
    Echantillons s = rendre(2.0);
    for (double t = 0.0; t < 1.9; t += 0.1) {
        EXPECT_GT(rms(s, t, t + 0.1), audible) << "silent at " << t << " s";
    }
    // Turned off before the first pass is even parsed, and kept across stop
    // and play; then on, and off again during a later pass.
    FMUSIC_PlaySong(m);
    FMUSIC_SetLooping(m, 0);
    for (int passe = 0; passe < 3; ++passe) {
        if (passe == 2) {
            FMUSIC_SetLooping(m, 1);
            FMUSIC_PlaySong(m);
            rendre(0.7);
            FMUSIC_SetLooping(m, 0);
        }
        s = rendre(3.0);
        EXPECT_GT(rms(s, 0.0, 0.2), audible) << passe;
        EXPECT_LT(rms(s, 1.5, 3.0), 1.0) << passe;
        FMUSIC_StopSong(m);
        FMUSIC_PlaySong(m);
    }
    FMUSIC_FreeSong(m);
}

TEST_F(Audio, SamplesStartAtOnceShareAtMost32VoicesAndStopWhenFreed) {
    // 16-bit mono at 22050 Hz, so loading has to convert it: a loud square wave.
    FSOUND_SAMPLE* son = chargerSon(fichierWav(22050, 22050, 8000, 25));
    ASSERT_NE(son, nullptr);
    FSOUND_PlaySound(FSOUND_FREE, son);
    EXPECT_EQ(audioVoixActives(), 1);
    // The clock of the voices' record is the steady clock.
    auto maintenant = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    const double avant = maintenant();
    EXPECT_GT(rms(rendre(512.0 / frequence), 0.0, 1.0), 1000.0);
    DebutVoix debut[2]{};
    ASSERT_EQ(audioDebutsVoix(debut, 2), 1) << "its first frame mixed is noted, once";
    EXPECT_EQ(debut[0].son, son);
    EXPECT_GE(debut[0].instant, avant);
    EXPECT_LE(debut[0].instant, maintenant());

    for (int i = 0; i < 40; ++i) {
        FSOUND_PlaySound(FSOUND_FREE, son);
        EXPECT_LE(audioVoixActives(), 32);
    }
    // Loud enough together to clip, which must saturate rather than wrap.
    EXPECT_GE(crete(rendre(0.05)), 32767);
    // Converted to 44100 Hz, the 1-second sample ends after one second.
    rendre(0.9);
    EXPECT_EQ(audioVoixActives(), 32);
    rendre(0.06);
    EXPECT_EQ(audioVoixActives(), 0);
    FSOUND_PlaySound(FSOUND_FREE, son);
    FSOUND_Sample_Free(son);
    EXPECT_EQ(audioVoixActives(), 0);
    EXPECT_EQ(crete(rendre(0.1)), 0);
}

TEST_F(Audio, SongsThatCannotPlayOrWouldStallTheMixerGiveNull) {
    const Octets bon = note(0.0, 0.5, 0.5);
    for (size_t taille = 0; taille < bon.size(); ++taille) {
        EXPECT_EQ(charger(Octets(bon.begin(), bon.begin() + static_cast<long>(taille))), nullptr)
            << "cut at " << taille;
    }
    // Overwrites from `position`; a longer replacement extends the file.
    auto modifie = [&bon](size_t position, const Octets& octets) {
        Octets o = bon;
        o.resize(std::max(o.size(), position + octets.size()));
        std::copy(octets.begin(), octets.end(), o.begin() + static_cast<long>(position));
        return o;
    };
    std::vector<EvenementMidi> clairseme;
    for (uint32_t i = 0; i <= evenementsMaxMusique; ++i) {
        clairseme.push_back({40 * i, {0xC0, 1}});
    }
    const std::vector<std::tuple<const char*, Octets, bool>> cas = {
        {"untouched", bon, true},
        {"trailing bytes to 1 MiB", modifie(bon.size(), Octets((1 << 20) - bon.size(), 0)), true},
        {"over 1 MiB", modifie(bon.size(), Octets((1 << 20) + 1 - bon.size(), 0)), false},
        {"garbage", Octets(300, 0xA5), false},
        {"no track", modifie(10, {0, 0}), false},
        {"SMPTE time", modifie(12, {0xE7, 0x28}), false},
        {"chunk longer than the file", modifie(18, {0, 0, 1, 0}), false},
        {"5-byte delta", modifie(22, {0x81, 0x81, 0x81, 0x81, 0x81}), false},
        {"data byte without status", modifie(22, {0x00, 60}), false},
        {"lasts 0 ticks", note(0.0, 0.0, 0.0), false},
        {"unknown chunk first", modifie(14, {'X', 'Y', 'Z', 'W'}), false},
        // What rendering a buffer may cost, at the limits and just past them.
        {"most note-ons a buffer may hold", morceauLimite(Limite::notes), true},
        {"one note-on more", morceauLimite(Limite::notes, true), false},
        {"most resets a buffer may hold", morceauLimite(Limite::sysex), true},
        {"one reset more", morceauLimite(Limite::sysex, true), false},
        {"shortest loop", morceauLimite(Limite::boucle), true},
        {"a shorter loop", morceauLimite(Limite::boucle, true), false},
        {"too many events, however sparse", fichierMidi(clairseme, 40 * 6000), false},
        {"one tick long at 1 us a beat", fichierMidi({{0, {0xFF, 0x51, 3, 0, 0, 1}}}, 1), false},
        {"a tempo that races before a slow one", morceauTempoQuiCourt(70), false},
    };
    for (const auto& [nom, octets, admis] : cas) {
        FMUSIC_MODULE* m = charger(octets);
        EXPECT_EQ(m != nullptr, admis) << nom;
        FMUSIC_FreeSong(m);
    }
    // Opening a FIFO for reading would wait for a writer for ever.
    ASSERT_EQ(mkfifo((dossier / "fifo").c_str(), 0600), 0);
    for (const fs::path& chemin : {dossier / "fifo", dossier, dossier / "absent"}) {
        EXPECT_EQ(FMUSIC_LoadSong(chemin.c_str()), nullptr) << chemin;
    }
}

TEST_F(Audio, SamplesThatAreEmptyOrTooLongToConvertGiveNull) {
    const Octets entete = wav(22050, 1, 16, 100);
    const std::vector<std::tuple<const char*, Octets, int>> cas = {
        // SDL's conversion buffer would be the length times 705,600.
        {"1 Hz, 8-bit mono, 4 KiB", wav(1, 1, 8, 4096), 0},
        {"1 Hz, 8-bit mono, 16 KiB", wav(1, 1, 8, 16384), 0},
        {"3999 Hz", wav(3999, 1, 16, 800), 0},
        {"192001 Hz", wav(192001, 1, 16, 800), 0},
        {"less than a 16-bit stereo frame", wav(22050, 2, 16, 3), 0},
        {"no data", wav(22050, 1, 16, 0), 0},
        {"over 30 s once converted", wav(44100, 1, 8, 30 * 44100 + 1), 0},
        {"a MIDI file", note(0.0, 0.5, 0.5), 0},
        {"cut in its header", Octets(entete.begin(), entete.begin() + 30), 0},
        {"4000 Hz, 100 frames", wav(4000, 1, 16, 200), 1102},
        {"192000 Hz stereo, 1920 frames", wav(192000, 2, 16, 7680), 441},
        {"a partial frame at the end", wav(44100, 2, 16, 403), 100},
    };
    for (const auto& [nom, octets, trames] : cas) {
        FSOUND_SAMPLE* son = chargerSon(octets);
        ASSERT_EQ(son != nullptr, trames > 0) << nom;
        FSOUND_PlaySound(FSOUND_FREE, son);
        rendre(std::max(trames - 8, 0) / static_cast<double>(frequence));
        EXPECT_EQ(audioVoixActives(), trames > 0) << nom << ": shorter than " << trames;
        rendre(16.0 / frequence);
        EXPECT_EQ(audioVoixActives(), 0) << nom << ": longer than " << trames;
        FSOUND_Sample_Free(son);
    }
    const std::string grand = ecrire(entete);
    fs::resize_file(grand, (8 << 20) + 1);
    ASSERT_EQ(mkfifo((dossier / "fifo").c_str(), 0600), 0);
    for (const fs::path& chemin : {fs::path(grand), dossier / "fifo", dossier, dossier / "-"}) {
        EXPECT_EQ(FSOUND_Sample_Load(FSOUND_FREE, chemin.c_str(), 0, 0, 0), nullptr) << chemin;
    }
}

// Through a sound device: SDL's disk driver runs a sound thread at the pace
// of a card and writes what it is given to a file.
TEST_F(Audio, OnADeviceTheCostliestSongIsHeardFromItsBeginningAndStopsAtOnce) {
    FMUSIC_MODULE* m = charger(morceauLimite(Limite::notes));
    ASSERT_NE(m, nullptr);
    const std::string sortie = (dossier / "peripherique.raw").string();
    FSOUND_Close();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", sortie.c_str(), 1);
    ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
    FMUSIC_PlaySong(m); // while the SoundFont is still loading
    // Until the song has been heard for a while, however slow the machine.
    auto entendu = [&sortie] {
        std::ifstream fichier(sortie, std::ios::binary);
        const std::vector<char> octets(std::istreambuf_iterator<char>(fichier), {});
        const auto* brut = reinterpret_cast<const int16_t*>(octets.data());
        return sonore(brut, brut + octets.size() / 2);
    };
    for (int i = 0; i < 200 && entendu().size() < 2 * frequence / 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto debut = std::chrono::steady_clock::now();
    FMUSIC_StopSong(m);
    EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(1));
    ASSERT_GT(audioTailleTampon(), 0) << "no device";
    FSOUND_Close();

    // The same song without a device: the device got it from its first frame.
    setenv("SDL_AUDIODRIVER", "aucun", 1);
    ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
    FMUSIC_PlaySong(m);
    const Echantillons attendu = rendre(0.3);
    FMUSIC_FreeSong(m);
    Echantillons recu = entendu();
    recu.resize(std::min(recu.size(), attendu.size()));
    EXPECT_GT(recu.size(), attendu.size() / 2);
    EXPECT_EQ(ecart(sonore(attendu.data(), attendu.data() + attendu.size()), recu), -1);
}

TEST_F(Audio, NullHandlesAndRepeatedStartAndShutdownAreHarmless) {
    // The program may end with the SoundFont still loading: no crash, and no
    // leak report, which would change the status.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string chanson = ecrire(note(0.0, 1.0, 1.0));
    EXPECT_EXIT(
        {
            static FMUSIC_MODULE* gardee = FMUSIC_LoadSong(chanson.c_str());
            std::exit(gardee != nullptr ? 3 : 4);
        },
        testing::ExitedWithCode(3), "");
    FMUSIC_PlaySong(nullptr);
    FMUSIC_SetLooping(nullptr, 1);
    FMUSIC_StopSong(nullptr);
    FMUSIC_FreeSong(nullptr);
    FSOUND_PlaySound(FSOUND_FREE, nullptr);
    FSOUND_Sample_Free(nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    EXPECT_EQ(FSOUND_Sample_Load(FSOUND_FREE, nullptr, 0, 0, 0), nullptr);

    FMUSIC_MODULE* m = charger(note(0.0, 1.0, 1.0, 19));
    ASSERT_NE(m, nullptr);
    FMUSIC_PlaySong(m);
    // Closed while the SoundFont loads, then after SDL_Quit as the menu does:
    // nothing hangs or leaks (the sanitizer build checks), and nothing sounds.
    for (int i = 0; i < 3; ++i) {
        FSOUND_Close();
        FSOUND_Close();
        EXPECT_EQ(crete(rendre(0.05)), 0);
        ASSERT_TRUE(FSOUND_Init(frequence, 32, 0));
        if (i == 1) {
            SDL_Quit();
        }
    }
    FMUSIC_PlaySong(m);
    EXPECT_GT(rms(rendre(0.3), 0.05, 0.3), audible);
    FMUSIC_FreeSong(m);
}

// The game's own songs, when they are there.
TEST_F(Audio, GameSongsSoundAtOnceAndLoopWithoutAGap) {
    const fs::path dossierMusique = fs::path(PRESSATHON_DATA_DIR) / "MUSIC";
    if (!fs::exists(dossierMusique / "menu.mid")) {
        GTEST_SKIP() << "no song in " << dossierMusique;
    }
    for (const char* nom : {"menu.mid", "jeu01.mid", "highscores.mid", "instructions.mid"}) {
        FMUSIC_MODULE* m = FMUSIC_LoadSong((dossierMusique / nom).c_str());
        ASSERT_NE(m, nullptr) << nom;
        const double duree = audioDureeMusique(m);
        FMUSIC_PlaySong(m);
        const Echantillons s = rendre(duree + 1.0);
        EXPECT_GT(rms(s, 0.0, 1.0), audible) << nom;
        // The second pass sounds like the first, not like the last notes fading.
        EXPECT_GT(rms(s, duree + 0.5, duree + 1.0), 0.5 * rms(s, 0.5, 1.0)) << nom;
        // 10-ms windows across the loop point: none silent 50 ms in a row.
        int silencieuses = 0;
        for (double t = std::max(0.0, duree - 0.3); t < duree + 0.3; t += 0.01) {
            silencieuses = rms(s, t, t + 0.01) < 20.0 ? silencieuses + 1 : 0;
            EXPECT_LT(silencieuses, 5) << nom << " falls silent at " << t << " s";
        }
        FMUSIC_FreeSong(m);
    }
}

} // namespace
