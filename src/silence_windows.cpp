// The error stream muted on Windows: pointed at the NUL device for a while.
//
// SDL's main wrapper has sent the stream to stderr.txt beside the program;
// what goes to NUL meanwhile never reaches that file.
#include "silence.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

ErreursMuettes::ErreursMuettes() {
    std::fflush(stderr);
    ancien_ = _dup(_fileno(stderr));
    const int nul = _open("NUL", _O_WRONLY | _O_NOINHERIT);
    if (ancien_ >= 0 && nul >= 0) {
        _dup2(nul, _fileno(stderr));
    }
    if (nul >= 0) {
        _close(nul);
    }
}

ErreursMuettes::~ErreursMuettes() {
    if (ancien_ >= 0) {
        std::fflush(stderr);
        _dup2(ancien_, _fileno(stderr));
        _close(ancien_);
    }
}
