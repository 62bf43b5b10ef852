// Fuzz target for the score file: any bytes as its content are read and ranked into without a
// crash, and the results agree with a plain model built on the C library's own conversion.
//
// A libFuzzer target, built and run by scripts/fuzz.sh.
#include "highscores.h"
#include "jeu.h"

#include <algorithm>
#include <cerrno>
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

struct Lecture {
    int32_t valeurs[5] = {};
    int nombre = 0;
};

// The whole text read the way "%d" would, through strtoll, clamped afterwards.
Lecture modele(const std::string& texte) {
    Lecture lecture;
    const char* position = texte.c_str();
    while (lecture.nombre < 5) {
        char* suite = nullptr;
        errno = 0;
        const long long valeur = std::strtoll(position, &suite, 10);
        if (suite == position) {
            break;
        }
        lecture.valeurs[lecture.nombre++] =
            static_cast<int32_t>(std::clamp<long long>(valeur, INT32_MIN, INT32_MAX));
        position = suite;
    }
    return lecture;
}

[[noreturn]] void echec(const char* quoi, const std::string& texte) {
    std::fprintf(stderr, "\n%s (file of %zu bytes)\n", quoi, texte.size());
    std::abort();
}

void ecrireFichier(const std::string& texte) {
    std::ofstream(FICHIER_HIGHSCORES, std::ios::binary | std::ios::trunc) << texte;
}

std::string lireFichier() {
    std::ifstream fichier(FICHIER_HIGHSCORES, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(fichier), {});
}

// A score near one of the file's entries, an extreme, or anything: the
// input's last byte chooses.
int32_t scoreTire(const std::string& texte, const Lecture& attendu) {
    const auto octet = static_cast<unsigned char>(texte.empty() ? 0 : texte.back());
    const int64_t voisin = int64_t{attendu.valeurs[octet % 5]} + octet % 3 - 1;
    return octet % 4 == 0 ? (octet & 8 ? INT32_MAX : INT32_MIN)
                          : static_cast<int32_t>(std::clamp<int64_t>(voisin, INT32_MIN, INT32_MAX));
}

void verifier(const std::string& texte) {
    ecrireFichier(texte);

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

    const Lecture complet = modele(texte);
    if (lus > complet.nombre || !std::equal(depuisA, depuisA + lus, complet.valeurs)) {
        echec("the reader found numbers the model does not", texte);
    }
    if (texte.size() < LIMITE_LECTURE) {
        if (lus != complet.nombre) {
            echec("the reader stopped before the model", texte);
        }
    } else {
        // Past the limit, only the number that the limit cuts may be lost.
        const Lecture debut = modele(texte.substr(0, LIMITE_LECTURE));
        if (lus < std::min(debut.nombre, complet.nombre) - 1) {
            echec("the reader stopped well before the limit", texte);
        }
    }

    // Ranking: what the reader found, zeros elsewhere, and the first strict
    // rule that holds.
    int32_t t[5] = {};
    std::copy(depuisA, depuisA + lus, t);
    const int32_t score = scoreTire(texte, complet);
    std::vector<int32_t> nouveau;
    if (t[0] < score) {
        nouveau = {score, t[0], t[1], t[2], t[3]};
    } else if (t[1] < score && score < t[0]) {
        nouveau = {t[0], score, t[1], t[2], t[3]};
    } else if (t[2] < score && score < t[1]) {
        nouveau = {t[0], t[1], score, t[2], t[3]};
    } else if (t[3] < score && score < t[2]) {
        nouveau = {t[0], t[1], t[2], score, t[3]};
    } else if (t[4] < score && score < t[3]) {
        nouveau = {t[0], t[1], t[2], t[3], score};
    }
    std::string attendu = texte;
    if (!nouveau.empty()) {
        std::ostringstream flux;
        for (size_t i = 0; i < nouveau.size(); ++i) {
            flux << (i ? " " : "") << nouveau[i];
        }
        attendu = flux.str();
    }
    sauverHighScores(score);
    if (lireFichier() != attendu) {
        echec("the file after ranking is not the expected one", texte);
    }
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
    verifier(std::string(reinterpret_cast<const char*>(donnees), taille));
    return 0;
}
