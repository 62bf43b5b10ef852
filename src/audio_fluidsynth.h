// FluidSynth, loaded by the sound layer's loader thread rather than with the program.
//
// FluidSynth brings some sixty libraries with it (GLib, the sound servers'
// clients, the sample file codecs). Loaded with the program, they would be
// loaded before the game's window opens; the loader thread loads them while
// the window shows its first frame.
#pragma once

#include <fluidsynth.h>

// The functions the sound layer calls, in one list so that the table and its
// lookup cannot drift apart.
#define PRESSATHON_FONCTIONS_FLUIDSYNTH(F)                                                         \
    F(fluid_set_log_function)                                                                      \
    F(new_fluid_settings)                                                                          \
    F(delete_fluid_settings)                                                                       \
    F(fluid_settings_setint)                                                                       \
    F(fluid_settings_setnum)                                                                       \
    F(fluid_settings_setstr)                                                                       \
    F(new_fluid_synth)                                                                             \
    F(delete_fluid_synth)                                                                          \
    F(fluid_synth_sfload)                                                                          \
    F(fluid_synth_set_interp_method)                                                               \
    F(fluid_synth_system_reset)                                                                    \
    F(fluid_synth_all_sounds_off)                                                                  \
    F(fluid_synth_get_internal_bufsize)                                                            \
    F(fluid_synth_write_float)                                                                     \
    F(new_fluid_player)                                                                            \
    F(delete_fluid_player)                                                                         \
    F(fluid_player_add_mem)                                                                        \
    F(fluid_player_play)                                                                           \
    F(fluid_player_set_loop)                                                                       \
    F(fluid_player_get_total_ticks)                                                                \
    F(fluid_player_get_status)

struct FluidSynth {
#define PRESSATHON_DECLARER(nom) decltype(&::nom) nom = nullptr;
    PRESSATHON_FONCTIONS_FLUIDSYNTH(PRESSATHON_DECLARER)
#undef PRESSATHON_DECLARER
};

// Loads the library and fills `fonctions`; false, with `fonctions` left as it
// was, when the library or one of its functions is missing.
bool chargerFluidSynth(FluidSynth& fonctions);
