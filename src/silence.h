// Keeps the libraries quiet: the error stream points at /dev/null while one of these lives.
#pragma once

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Some libraries write to the error stream from inside a call that fails
// harmlessly (ALSA when there is no sound card, libwayland when there is no
// compositor). The program's only messages are its own.
class ErreursMuettes {
  public:
    ErreursMuettes() {
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
    ~ErreursMuettes() {
        if (ancien_ >= 0) {
            dup2(ancien_, STDERR_FILENO);
            close(ancien_);
        }
    }
    ErreursMuettes(const ErreursMuettes&) = delete;
    ErreursMuettes& operator=(const ErreursMuettes&) = delete;

  private:
    int ancien_ = -1;
};
