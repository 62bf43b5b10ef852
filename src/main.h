// The program's own entry point: start-up, main menu and shutdown.
#pragma once

extern "C" int SDL_main(int argc, char* argv[]);
