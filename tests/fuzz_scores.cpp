// Score file fuzz target: any bytes as its content are read and ranked into as a plain model
// built on the C library's own conversion says.
//
// A libFuzzer target, built and run by scripts/fuzz.sh, which starts with its seeds
// (tests/corpus_scores/).
#include "fichier_scores.h"
#include "highscores.h"
#include "jeu.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// What the game and the model disagree on when the score file holds `texte`: nothing, or what.
std::string verifierScores(const std::string& texte) {
    std::ofstream(FICHIER_HIGHSCORES, std::ios::binary | std::ios::trunc) << texte;
    // Up to five numbers read the way "%d" would, through strtoll, clamped.
    std::vector<int32_t> lues;
    for (const char* p = texte.c_str(); lues.size() < 5;) {
        char* suite = nullptr;
        const long long valeur = std::strtoll(p, &suite, 10);
        if (suite == p) {
            break;
        }
        lues.push_back(static_cast<int32_t>(std::clamp<long long>(valeur, INT32_MIN, INT32_MAX)));
        p = suite;
    }
    // Two different starting tables tell which entries the reader filled.
    std::array<int32_t, 5> a = {11, 22, 33, 44, 55}, b = {-11, -22, -33, -44, -55}, a2 = a, b2 = b;
    std::ranges::copy(lues, a2.begin());
    std::ranges::copy(lues, b2.begin());
    recupHighScores(a.data());
    recupHighScores(b.data());
    if (a != a2 || b != b2) {
        return "the reader's table is not the model's";
    }
    // Ranked into what was read, zeros elsewhere: a score near one of its entries, as the input's
    // last byte chooses.
    int32_t t[5] = {};
    std::copy(lues.begin(), lues.end(), t);
    const auto octet = static_cast<unsigned char>(texte.empty() ? 0 : texte.back());
    const auto score = static_cast<int32_t>(
        std::clamp<int64_t>(int64_t{t[octet % 5]} + octet % 3 - 1, INT32_MIN, INT32_MAX));
    // The first strict rule that holds places the score, the last entry dropping; else the file
    // stays as it was, layout and all.
    std::string attendu = texte;
    for (int rang = 0; rang < 5; ++rang) {
        if (t[rang] < score && (rang == 0 || score < t[rang - 1])) {
            std::copy_backward(t + rang, t + 4, t + 5);
            t[rang] = score;
            attendu = std::to_string(t[0]);
            for (int i = 1; i < 5; ++i) {
                attendu += " " + std::to_string(t[i]);
            }
            break;
        }
    }
    sauverHighScores(score);
    std::ifstream fichier(FICHIER_HIGHSCORES, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(fichier), {}) != attendu) {
        return "the file after ranking " + std::to_string(score) + " is not the model's";
    }
    return "";
}

} // namespace

// The score file lives in the directory scripts/fuzz.sh makes.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dossier = std::getenv("PRESSATHON_FUZZ_DOSSIER");
    if (dossier == nullptr || chdir(dossier) != 0) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    // A file the reading's limit cuts is refused whole, which the score-file tests check.
    const std::string echec =
        taille > LIMITE_LECTURE ? ""
                                : verifierScores({reinterpret_cast<const char*>(donnees), taille});
    if (!echec.empty()) {
        std::fprintf(stderr, "\n%s (file of %zu bytes)\n", echec.c_str(), taille);
        std::abort();
    }
    return 0;
}
