// Mixing cost of one 512-frame device buffer with a song and 0, 8 or 32 sample voices.
#include "audio.h"
#include "audio_rendu.h"
#include "fichiers_audio.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int frequence = 44100;
// What the sound device asks for at a time (the sound layer's buffer).
constexpr int tramesTampon = 512;

// A dense General MIDI song: five chord and bass parts and a drum kit, every
// part busy on every beat, 8 seconds at 120 beats a minute, 480 ticks a beat.
Octets morceauDense() {
    constexpr uint32_t noire = 480;
    constexpr uint32_t croche = noire / 2;
    constexpr uint32_t mesures = 4;
    std::vector<EvenementMidi> e;
    auto noteDe = [&e](unsigned canal, unsigned hauteur, uint32_t debut, uint32_t duree) {
        e.push_back(
            {debut,
             {static_cast<unsigned char>(0x90 | canal), static_cast<unsigned char>(hauteur), 100},
             1});
        e.push_back(
            {debut + duree,
             {static_cast<unsigned char>(0x80 | canal), static_cast<unsigned char>(hauteur), 0},
             0});
    };
    // Piano, strings, organ, brass, bass.
    const unsigned programmes[] = {0, 48, 19, 61, 33};
    for (unsigned canal = 0; canal < 5; ++canal) {
        e.push_back({0,
                     {static_cast<unsigned char>(0xC0 | canal),
                      static_cast<unsigned char>(programmes[canal])}});
    }
    const unsigned fondamentales[] = {60, 65, 67, 69};
    const unsigned accord[] = {0, 4, 7, 12};
    for (uint32_t mesure = 0; mesure < mesures; ++mesure) {
        const unsigned f = fondamentales[mesure];
        const uint32_t debut = mesure * 4 * noire;
        for (unsigned n : accord) {
            noteDe(1, f + n - 12, debut, 4 * noire);
        }
        for (uint32_t temps = 0; temps < 4; ++temps) {
            const uint32_t t = debut + temps * noire;
            for (unsigned n : accord) {
                noteDe(0, f + n, t, noire);
            }
            for (uint32_t c = 0; c < 2; ++c) {
                for (unsigned i = 0; i < 3; ++i) {
                    noteDe(2, f + accord[i] + 12, t + c * croche, croche);
                }
                noteDe(4, f - 24 + (c == 1 ? 7 : 0), t + c * croche, croche);
            }
            for (unsigned i = 0; i < 3; ++i) {
                noteDe(3, f + accord[i], t + croche, croche);
            }
            noteDe(9, temps % 2 == 0 ? 36 : 38, t, croche);
            for (uint32_t d = 0; d < 4; ++d) {
                noteDe(9, 42, t + d * noire / 4, noire / 4);
            }
        }
        noteDe(9, 49, debut, 4 * noire);
    }
    return fichierMidi(e, mesures * 4 * noire);
}

// Two seconds of a mono 16-bit tone at the mixing rate: long enough that a
// voice stays busy across many buffers.
Octets sonLong() {
    return fichierWav(frequence, 2 * frequence, 600, 50);
}

// A file in /tmp holding `octets`, removed when it goes out of scope.
class FichierTemporaire {
  public:
    FichierTemporaire(const Octets& octets, const char* suffixe) {
        chemin = "/tmp/bench_audio_XXXXXX";
        chemin += suffixe;
        const int fd = mkstemps(chemin.data(), static_cast<int>(std::string(suffixe).size()));
        if (fd < 0 ||
            write(fd, octets.data(), octets.size()) != static_cast<ssize_t>(octets.size())) {
            chemin.clear();
        }
        if (fd >= 0) {
            close(fd);
        }
    }
    ~FichierTemporaire() {
        if (!chemin.empty()) {
            unlink(chemin.c_str());
        }
    }
    FichierTemporaire(const FichierTemporaire&) = delete;
    FichierTemporaire& operator=(const FichierTemporaire&) = delete;
    const char* c_str() const {
        return chemin.c_str();
    }

  private:
    std::string chemin;
};

std::vector<int16_t> rendre(int tampons) {
    std::vector<int16_t> sortie(2 * tramesTampon * static_cast<size_t>(tampons));
    for (int i = 0; i < tampons; ++i) {
        audioRendre(sortie.data() + 2 * tramesTampon * static_cast<size_t>(i), tramesTampon);
    }
    return sortie;
}

enum class Morceau { dense, jeu01, menu };

std::string cheminDonnees(const char* relatif) {
    return std::string(PRESSATHON_DATA_DIR) + "/" + relatif;
}

// One iteration is one device buffer, mixed while the song plays and
// `state.range(0)` voices sound; a voice that ends is started again at once,
// so the count holds throughout (the top-up costs a scan of 32 slots).
void melange(benchmark::State& state, Morceau morceau) {
    const int voix = static_cast<int>(state.range(0));
    const FichierTemporaire dense(morceauDense(), ".mid");
    const FichierTemporaire son(sonLong(), ".wav");
    FSOUND_Init(frequence, 32, 0);
    const std::string chemin = morceau == Morceau::dense   ? dense.c_str()
                               : morceau == Morceau::jeu01 ? cheminDonnees("MUSIC/jeu01.mid")
                                                           : cheminDonnees("MUSIC/menu.mid");
    FMUSIC_MODULE* musique = FMUSIC_LoadSong(chemin.c_str());
    FSOUND_SAMPLE* echantillon = FSOUND_Sample_Load(FSOUND_FREE, son.c_str(), 0, 0, 0);
    if (musique == nullptr || echantillon == nullptr) {
        state.SkipWithError("song or sample failed to load");
        FSOUND_Close();
        return;
    }
    FMUSIC_PlaySong(musique);
    // Past the first notes' attack, into the song proper.
    rendre(40);
    std::vector<int16_t> tampon(2 * tramesTampon);
    for (auto _ : state) {
        while (audioVoixActives() < voix) {
            FSOUND_PlaySound(FSOUND_FREE, echantillon);
        }
        audioRendre(tampon.data(), tramesTampon);
        benchmark::DoNotOptimize(tampon.data());
        benchmark::ClobberMemory();
    }
    state.counters["voix"] = audioVoixActives();
    FMUSIC_FreeSong(musique);
    FSOUND_Sample_Free(echantillon);
    FSOUND_Close();
}

BENCHMARK_CAPTURE(melange, dense, Morceau::dense)
    ->Arg(0)
    ->Arg(8)
    ->Arg(32)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(melange, jeu01, Morceau::jeu01)
    ->Arg(0)
    ->Arg(8)
    ->Arg(32)
    ->Unit(benchmark::kMicrosecond);
// The menu's song alone: what the sound thread would cost while the menu
// waits, had the machine a sound device.
BENCHMARK_CAPTURE(melange, menu, Morceau::menu)->Arg(0)->Unit(benchmark::kMicrosecond);

// One iteration plays the song once from its start, each buffer timed; the
// figure is the slowest buffer, by its median across iterations (a single
// slow buffer is more often the machine than the song).
void pireMorceau(benchmark::State& state, Limite genre) {
    const FichierTemporaire fichier(morceauLimite(genre), ".mid");
    FSOUND_Init(frequence, 32, 0);
    FMUSIC_MODULE* musique = FMUSIC_LoadSong(fichier.c_str());
    if (musique == nullptr) {
        state.SkipWithError("the song at the limits was refused");
        FSOUND_Close();
        return;
    }
    const int tampons = static_cast<int>(std::min(4.0, audioDureeMusique(musique) + 0.5) *
                                         frequence / tramesTampon);
    std::vector<std::vector<double>> durees(static_cast<size_t>(tampons));
    std::vector<int16_t> tampon(2 * tramesTampon);
    for (auto _ : state) {
        FMUSIC_PlaySong(musique);
        for (auto& duree : durees) {
            const auto debut = std::chrono::steady_clock::now();
            audioRendre(tampon.data(), tramesTampon);
            duree.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - debut)
                    .count());
        }
    }
    double pire = 0.0;
    for (auto& duree : durees) {
        std::nth_element(duree.begin(), duree.begin() + static_cast<long>(duree.size() / 2),
                         duree.end());
        pire = std::max(pire, duree[duree.size() / 2]);
    }
    state.counters["pire_tampon_us"] = pire;
    FMUSIC_FreeSong(musique);
    FSOUND_Close();
}

BENCHMARK_CAPTURE(pireMorceau, notes, Limite::notes)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pireMorceau, sysex, Limite::sysex)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pireMorceau, boucle, Limite::boucle)
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

// The click sound, started while the game's song plays, must be in the very
// next buffer the device asks for. Rendered twice from the same start, with
// and without the click: their difference is the click alone.
std::string verifierAttaque() {
    const std::string chanson = cheminDonnees("MUSIC/jeu01.mid");
    const std::string clic = cheminDonnees("SFX/click.wav");
    constexpr int avant = 40;
    std::vector<int16_t> tampons[2];
    for (int avecClic = 0; avecClic < 2; ++avecClic) {
        FSOUND_Init(frequence, 32, 0);
        FMUSIC_MODULE* musique = FMUSIC_LoadSong(chanson.c_str());
        FSOUND_SAMPLE* son = FSOUND_Sample_Load(FSOUND_FREE, clic.c_str(), 0, 0, 0);
        if (musique == nullptr || son == nullptr) {
            FSOUND_Close();
            return "ECHEC: song or click failed to load";
        }
        FMUSIC_PlaySong(musique);
        rendre(avant);
        if (avecClic != 0) {
            FSOUND_PlaySound(FSOUND_FREE, son);
        }
        tampons[avecClic] = rendre(1);
        FMUSIC_FreeSong(musique);
        FSOUND_Sample_Free(son);
        FSOUND_Close();
    }

    // The click as the file holds it (mono, at the mixing rate): both
    // channels of the mix should carry it from its first frame.
    SDL_AudioSpec format{};
    Uint8* octets = nullptr;
    Uint32 longueur = 0;
    if (SDL_LoadWAV(clic.c_str(), &format, &octets, &longueur) == nullptr) {
        return "ECHEC: click.wav unreadable";
    }
    const bool direct =
        format.format == AUDIO_S16SYS && format.channels == 1 && format.freq == frequence;
    std::vector<int16_t> attendu(longueur / 2);
    std::copy_n(reinterpret_cast<const int16_t*>(octets), attendu.size(), attendu.data());
    SDL_FreeWAV(octets);

    int premiere = -1;
    int ecartMax = 0;
    const int comparees = std::min<int>(tramesTampon, static_cast<int>(attendu.size()));
    for (int i = 0; i < tramesTampon; ++i) {
        for (int c = 0; c < 2; ++c) {
            const int ecart = tampons[1][2 * i + c] - tampons[0][2 * i + c];
            if (ecart != 0 && premiere < 0) {
                premiere = i;
            }
            // Where the sum clips the difference is not the click's value.
            const bool sature = tampons[1][2 * i + c] == 32767 || tampons[1][2 * i + c] == -32768;
            if (direct && i < comparees && !sature) {
                ecartMax = std::max(ecartMax, std::abs(ecart - attendu[static_cast<size_t>(i)]));
            }
        }
    }
    int premiereFichier = -1;
    for (size_t i = 0; i < attendu.size() && premiereFichier < 0; ++i) {
        if (attendu[i] != 0) {
            premiereFichier = static_cast<int>(i);
        }
    }
    const bool tenu = premiere >= 0 && premiere == premiereFichier && (!direct || ecartMax <= 1);
    char texte[200];
    std::snprintf(texte, sizeof texte,
                  "%s: click heard from frame %d of the next %d-frame buffer (file's first "
                  "sound at frame %d; largest error against the file %d)",
                  tenu ? "OK" : "ECHEC", premiere, tramesTampon, premiereFichier,
                  direct ? ecartMax : -1);
    return texte;
}

} // namespace

int main(int argc, char** argv) {
    // No device: the benchmark calls the mixer itself, as the device would.
    setenv("SDL_AUDIODRIVER", "aucun", 1);
    const std::string attaque = verifierAttaque();
    std::fprintf(stderr, "attaque_clic %s\n", attaque.c_str());
    benchmark::AddCustomContext("attaque_clic", attaque);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
