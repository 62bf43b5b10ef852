// What each step of the menu's start-up costs on its own, repeated in one process (warm caches).
#include "audio.h"
#include "audio_rendu.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>
#include <fluidsynth.h>

#include <cstdlib>
#include <string>

namespace {

std::string donnee(const char* relatif) {
    return std::string(PRESSATHON_DATA_DIR) + "/" + relatif;
}

void image(benchmark::State& state, const char* relatif) {
    const std::string chemin = donnee(relatif);
    for (auto _ : state) {
        SDL_Surface* s = IMG_Load(chemin.c_str());
        benchmark::DoNotOptimize(s);
        SDL_FreeSurface(s);
    }
}
BENCHMARK_CAPTURE(image, fond, "IMG/fond.png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(image, icone, "IMG/icone.png")->Unit(benchmark::kMillisecond);

// The menu's font and its welcome text.
void police(benchmark::State& state) {
    const std::string chemin = donnee("journal.ttf");
    for (auto _ : state) {
        TTF_Init();
        TTF_Font* p = TTF_OpenFont(chemin.c_str(), 90);
        TTF_SetFontStyle(p, TTF_STYLE_ITALIC);
        SDL_Surface* s = TTF_RenderText_Blended(p, "Bienvenue !", SDL_Color{0, 0, 0, 0});
        benchmark::DoNotOptimize(s);
        SDL_FreeSurface(s);
        TTF_CloseFont(p);
        TTF_Quit();
    }
}
BENCHMARK(police)->Unit(benchmark::kMillisecond);

// The sound layer's whole start and close: device search, synthesizer and
// SoundFont (on the sound layer's own thread, started by the first song and
// waited for by FSOUND_Close). With the driver left to SDL (as the game runs)
// and with no driver at all. Without a sound card the first includes about
// 100 ms in FSOUND_Close, where quitting SDL's audio waits for its ALSA
// card-watching thread.
void sonInit(benchmark::State& state, bool sansPeripherique) {
    if (sansPeripherique) {
        setenv("SDL_AUDIODRIVER", "aucun", 1);
    } else {
        unsetenv("SDL_AUDIODRIVER");
    }
    const std::string chemin = donnee("MUSIC/menu.mid");
    for (auto _ : state) {
        FSOUND_Init(44100, 32, 0);
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        FMUSIC_PlaySong(m);
        // Waits for the synthesizer, and renders the song's first buffer.
        int16_t tampon[2 * 512];
        audioRendre(tampon, 512);
        FMUSIC_FreeSong(m);
        FSOUND_Close();
    }
    unsetenv("SDL_AUDIODRIVER");
}
BENCHMARK_CAPTURE(sonInit, pilotes_essayes, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(sonInit, sans_pilote, true)->Unit(benchmark::kMillisecond);

// The SoundFont alone, loaded whole or with its samples loaded on demand.
void soundFont(benchmark::State& state, bool aLaDemande) {
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_settings_t* reglages = new_fluid_settings();
    fluid_settings_setint(reglages, "synth.lock-memory", 0);
    fluid_settings_setint(reglages, "synth.dynamic-sample-loading", aLaDemande ? 1 : 0);
    for (auto _ : state) {
        fluid_synth_t* synth = new_fluid_synth(reglages);
        benchmark::DoNotOptimize(
            fluid_synth_sfload(synth, "/usr/share/sounds/sf2/TimGM6mb.sf2", 1));
        delete_fluid_synth(synth);
    }
    delete_fluid_settings(reglages);
}
BENCHMARK_CAPTURE(soundFont, entiere, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(soundFont, a_la_demande, true)->Unit(benchmark::kMillisecond);

// The menu's song: read, checked and started.
void chanson(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "aucun", 1);
    FSOUND_Init(44100, 32, 0);
    const std::string chemin = donnee("MUSIC/menu.mid");
    for (auto _ : state) {
        FMUSIC_MODULE* m = FMUSIC_LoadSong(chemin.c_str());
        FMUSIC_PlaySong(m);
        FMUSIC_SetLooping(m, 1);
        FMUSIC_FreeSong(m);
    }
    FSOUND_Close();
    unsetenv("SDL_AUDIODRIVER");
}
BENCHMARK(chanson)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
