// Keeps the libraries quiet: the error stream goes nowhere while one of these lives.
#pragma once

// Some libraries write to the error stream from inside a call that fails
// harmlessly (ALSA when there is no sound card, libwayland when there is no
// compositor). The program's only messages are its own. Each platform says
// where "nowhere" is (silence_posix.cpp, silence_windows.cpp).
class ErreursMuettes {
  public:
    ErreursMuettes();
    ~ErreursMuettes();
    ErreursMuettes(const ErreursMuettes&) = delete;
    ErreursMuettes& operator=(const ErreursMuettes&) = delete;

  private:
    int ancien_ = -1; // the error stream's own descriptor, kept aside
};
