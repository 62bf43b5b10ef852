// Fuzz target for the score file: any bytes as its content are read and ranked into without a
// crash, and the results agree with a plain model built on the C library's own conversion.
//
// A libFuzzer target, built and run by scripts/fuzz.sh.
#include "highscores.h"
#include "jeu.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The whole text read the way "%d" would, through strtoll, clamped afterwards.
std::vector<int32_t> modele(const std::string& texte) {
    std::vector<int32_t> valeurs;
    const char* position = texte.c_str();
    for (char* suite = nullptr; valeurs.size() < 5; position = suite) {
        const long long valeur = std::strtoll(position, &suite, 10);
        if (suite == position) {
            break;
        }
        valeurs.push_back(
            static_cast<int32_t>(std::clamp<long long>(valeur, INT32_MIN, INT32_MAX)));
    }
    return valeurs;
}

[[noreturn]] void echec(const char* quoi, const std::string& texte) {
    std::fprintf(stderr, "\n%s (file of %zu bytes)\n", quoi, texte.size());
    std::abort();
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
    // A file the reading's limit cuts is refused whole, which the score-file
    // tests check; scripts/fuzz.sh keeps inputs far below it.
    if (taille > LIMITE_LECTURE) {
        return 0;
    }
    const std::string texte(reinterpret_cast<const char*>(donnees), taille);
    std::ofstream(FICHIER_HIGHSCORES, std::ios::binary | std::ios::trunc) << texte;

    // Two different starting tables tell which entries the reader filled.
    int32_t depuisA[5] = {11, 22, 33, 44, 55};
    int32_t depuisB[5] = {-11, -22, -33, -44, -55};
    recupHighScores(depuisA);
    recupHighScores(depuisB);
    int lus = 0;
    while (lus < 5 && depuisA[lus] == depuisB[lus]) {
        ++lus;
    }
    for (int i = lus; i < 5; ++i) {
        if (depuisA[i] != 11 * (i + 1) || depuisB[i] != -11 * (i + 1)) {
            echec("an entry after the first unread one changed", texte);
        }
    }

    const std::vector<int32_t> complet = modele(texte);
    if (lus != std::ssize(complet) || !std::equal(depuisA, depuisA + lus, complet.begin())) {
        echec("the reader's numbers are not the model's", texte);
    }

    // Ranking into what the reader found, zeros elsewhere.
    int32_t t[5] = {};
    std::copy(depuisA, depuisA + lus, t);
    // A score near one of the file's entries, an extreme, or anything: the
    // input's last byte chooses.
    const auto octet = static_cast<unsigned char>(texte.empty() ? 0 : texte.back());
    const int64_t voisin = int64_t{t[octet % 5]} + octet % 3 - 1;
    const int32_t score =
        octet % 4 == 0 ? (octet & 8 ? INT32_MAX : INT32_MIN)
                       : static_cast<int32_t>(std::clamp<int64_t>(voisin, INT32_MIN, INT32_MAX));
    // The first strict rule that holds places the score; else the file stays.
    std::string attendu = texte;
    for (int rang = 0; rang < 5; ++rang) {
        if (t[rang] < score && (rang == 0 || score < t[rang - 1])) {
            std::ostringstream flux;
            for (int i = 0; i < 5; ++i) {
                flux << (i > 0 ? " " : "") << (i < rang ? t[i] : i == rang ? score : t[i - 1]);
            }
            attendu = flux.str();
            break;
        }
    }
    sauverHighScores(score);
    std::ifstream fichier(FICHIER_HIGHSCORES, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(fichier), {}) != attendu) {
        echec("the file after ranking is not the expected one", texte);
    }
    return 0;
}
