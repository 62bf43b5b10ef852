// Process entry: hands over to the game's own entry point.
#include "main.h"

int main(int argc, char* argv[]) {
    return SDL_main(argc, argv);
}
