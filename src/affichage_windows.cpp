// The display check on Windows: a desktop always has a screen to show the window on.
#include "ecran.h"

void verifierAffichage() {}
