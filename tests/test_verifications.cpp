// What the game lets its loaders read: songs, sounds, pictures and fonts, each only what it is,
// and only when it is safe and cheap to play or show.
//
// The songs and sounds are small files of tests/corpus_midi/ and tests/sons/ (their README says
// what each holds). Nothing here needs a sound card.
#include "audio.h"
#include "audio_wav.h"
#include "ecran.h"
#include "fichiers.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;

const std::string musiques = PRESSATHON_TESTS_DIR "/corpus_midi/";
const std::string sons = PRESSATHON_TESTS_DIR "/sons/";

TEST(Verifications, OnlyFilesSafeAndCheapToPlayLoad) {
    // Too large files: copies of small ones, padded.
    const fs::path dossier = fs::temp_directory_path() /
                             ("test_verifications-" + std::to_string(std::random_device{}()));
    fs::create_directories(dossier);
    const auto agrandie = [&](const std::string& source, uintmax_t taille) {
        const fs::path copie =
            dossier / (std::to_string(taille) + fs::path(source).filename().string());
        fs::copy_file(source, copie);
        fs::resize_file(copie, taille);
        return copie.string();
    };
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dossier / "fifo").c_str(), 0600), 0);
#endif
    // What each file gives when loaded as each thing: a song (m), a sound the guard lets through
    // to SDL_mixer (s), a picture (i),
    // a font (p).
    const std::pair<std::string, std::string> cas[] = {
        {musiques + "note-piano.mid", "m"},
        {sons + "4000hz.wav", "s"},
        {agrandie(musiques + "note-orgue.mid", 1 << 20), "m"},
        {agrandie(musiques + "note-orgue.mid", (1 << 20) + 1), ""},
        {agrandie(sons + "trame-partielle.wav", 8 << 20), "s"},
        // The costliest songs the check accepts, and one event or a little
        // time beyond: bursts of note-ons and pan changes, or of resets,
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
        {musiques + "boucle-lente.mid", "m"},
        {musiques + "ticks-hors-portee.mid", ""},
        {musiques + "smpte.mid", ""},
        {musiques + "division-nulle.mid", ""},
        {musiques + "piste-trop-longue.mid", ""},
        {musiques + "morceau-etranger.mid", ""},
        {musiques + "morceau-non-ascii.mid", ""},
        {musiques + "metas.mid", "m"},
        {musiques + "metas-denses.mid", "m"},
        {musiques + "metas-smpte-6.mid", ""},
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
#ifndef _WIN32
    // What a refused file opened is closed again.
    const auto ouverts = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto avant = ouverts();
#endif
    for (const auto& [chemin, attendu] : cas) {
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        SDL_RWops* son = ouvrirWav(chemin.c_str(), 44100, AUDIO_S16SYS, 2);
        SDL_Surface* image = chargerImage(chemin.c_str());
        TTF_Font* police = ouvrirPolice(chemin.c_str(), 20, TTF_STYLE_NORMAL);
        EXPECT_EQ(std::string(m ? "m" : "") + (son ? "s" : "") + (image ? "i" : "") +
                      (police ? "p" : ""),
                  attendu)
            << chemin;
        FMUSIC_FreeSong(m);
        if (son != nullptr) {
            SDL_RWclose(son);
        }
        SDL_FreeSurface(image);
        if (police != nullptr) {
            TTF_CloseFont(police);
        }
    }
#ifndef _WIN32
    EXPECT_EQ(ouverts(), avant) << "descriptors left open";
#endif
    TTF_Quit();
    fs::remove_all(dossier);
}

// The SoundFont is where the platform keeps it: Debian's package, or beside the program.
TEST(Verifications, TheSoundFontIsFound) {
    const std::vector<std::string> chemins = cheminsSoundFont();
    EXPECT_TRUE(std::ranges::any_of(chemins, [](const std::string& c) {
        return c.ends_with("TimGM6mb.sf2") && fs::is_regular_file(c);
    }));
}

} // namespace
