// The error stream muted on Linux and other POSIX systems: pointed at /dev/null for a while.
#include "silence.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

ErreursMuettes::ErreursMuettes() {
    std::fflush(stderr);
    ancien_ = dup(STDERR_FILENO);
    const int nul = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (ancien_ >= 0 && nul >= 0) {
        dup2(nul, STDERR_FILENO);
    }
    if (nul >= 0) {
        close(nul);
    }
}

ErreursMuettes::~ErreursMuettes() {
    if (ancien_ >= 0) {
        dup2(ancien_, STDERR_FILENO);
        close(ancien_);
    }
}
