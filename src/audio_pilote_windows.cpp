// The sound driver on Windows: SDL's own order (WASAPI first) is the platform's own.
#include "audio_pilote.h"

bool ouvrirPeripherique(bool (*ouvrir)()) {
    return ouvrir();
}
