// What every test of files shares: a fresh copy of the game's data as the working directory, and
// the link-time stand-ins.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// Declares the real function and defines the stand-in the program calls instead (the test
// binary is linked with --wrap=NOM), which gives what the expression does.
#define ENVELOPPE(R, NOM, PARAMETRES, ...)                                                         \
    extern "C" R __real_##NOM PARAMETRES;                                                          \
    extern "C" R __wrap_##NOM PARAMETRES {                                                         \
        return __VA_ARGS__;                                                                        \
    }

namespace scenario {

inline void ecrire(const std::string& fichier, const std::string& contenu) {
    std::ofstream(fichier, std::ios::binary | std::ios::trunc) << contenu;
}
inline std::string lire(const std::string& fichier) {
    std::ifstream contenu(fichier, std::ios::binary);
    return {std::istreambuf_iterator<char>(contenu), {}};
}

// A copy of the game's data in a new directory, made the working directory so that relative
// paths name its files; removed afterwards.
class DossierDeDonnees : public ::testing::Test {
  protected:
    DossierDeDonnees() {
        std::filesystem::copy(PRESSATHON_DATA_DIR, chemin_,
                              std::filesystem::copy_options::recursive);
        std::filesystem::current_path(chemin_);
    }
    ~DossierDeDonnees() override {
        std::filesystem::current_path(ancien_);
        std::filesystem::remove_all(chemin_);
    }

  private:
    static std::filesystem::path nouveau() {
        std::random_device hasard;
        std::filesystem::path chemin;
        do {
            chemin =
                std::filesystem::temp_directory_path() / ("pressathon-" + std::to_string(hasard()));
        } while (!std::filesystem::create_directory(chemin));
        return chemin;
    }

    std::filesystem::path ancien_ = std::filesystem::current_path();
    std::filesystem::path chemin_ = nouveau();
};

} // namespace scenario
