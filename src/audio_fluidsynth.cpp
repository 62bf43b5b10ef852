// Loading FluidSynth at run time (see audio_fluidsynth.h).
#include "audio_fluidsynth.h"

#include <dlfcn.h>

bool chargerFluidSynth(FluidSynth& fonctions) {
    // Global, as if the program were linked with it: a preloaded library (a
    // profiler, say) sees its calls as usual. Never closed: its threads and
    // exit handlers may outlive the sound layer.
    if (dlopen(PRESSATHON_FLUIDSYNTH_SONAME, RTLD_LAZY | RTLD_GLOBAL) == nullptr) {
        return false;
    }
    FluidSynth trouvees;
    bool complet = true;
#define PRESSATHON_TROUVER(nom)                                                                    \
    trouvees.nom = reinterpret_cast<decltype(trouvees.nom)>(dlsym(RTLD_DEFAULT, #nom));            \
    complet = complet && trouvees.nom != nullptr;
    PRESSATHON_FONCTIONS_FLUIDSYNTH(PRESSATHON_TROUVER)
#undef PRESSATHON_TROUVER
    if (complet) {
        fonctions = trouvees;
    }
    return complet;
}
