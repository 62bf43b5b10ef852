// Score file: reading, ranked insertion, rewriting in place, failures and concurrent games.
#include "dossier.h"
#include "fichier_scores.h"
#include "highscores.h"
#include "jeu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

// The file's changes (writes and truncations) are counted down, so that a test can stop the
// program just before any one of them; writes may also be made to take two bytes at a time,
// as a disk short of room or a signal may do, or to find no room past a size, as a full disk.
static std::atomic<int> changementsAvantArret = 0;
static bool ecrituresCourtes = false;
static int64_t placeSurLeDisque = INT64_MAX;

static void changer() {
    if (--changementsAvantArret == 0) {
        std::_Exit(0);
    }
}

extern "C" long __real_ecrireA(int f, const char* o, size_t t, int64_t p);
static long ecrire(int f, const char* o, size_t t, int64_t p) {
    const auto place = static_cast<size_t>(std::max<int64_t>(placeSurLeDisque - p, 0));
    return place == 0 ? -1
                      : __real_ecrireA(f, o, std::min({t, place, ecrituresCourtes ? 2 : t}), p);
}

// Two games ending together: the first, about to write, waits for the second to have read the
// file, which it can do only if the lock does not keep it out (then, after a second, it goes on).
static std::mutex tour;
static std::condition_variable reveil;
static bool deuxiemeAttend = false, deuxiemeALu = false;
static thread_local int partieJouee = 0; // 1 or 2 in the two games, 0 elsewhere

static void attendreLeDeuxieme() {
    std::unique_lock verrou(tour);
    if (partieJouee == 1 && !deuxiemeAttend) {
        deuxiemeAttend = true;
        reveil.notify_all();
        reveil.wait_for(verrou, std::chrono::seconds(1), [] { return deuxiemeALu; });
    }
}

static void noterLecture() {
    const std::lock_guard verrou(tour);
    deuxiemeALu |= partieJouee == 2;
    reveil.notify_all();
}

ENVELOPPE(long, ecrireA, (int f, const char* o, size_t t, int64_t p),
          (changer(), attendreLeDeuxieme(), ecrire(f, o, t, p)))
ENVELOPPE(bool, tronquerFichier, (int f, int64_t taille),
          (changer(), __real_tronquerFichier(f, taille)))
ENVELOPPE(long, lireA, (int f, void* o, size_t t, int64_t p), [&] {
    const long lu = __real_lireA(f, o, t, p);
    noterLecture();
    return lu;
}())

namespace {

namespace fs = std::filesystem;
using FichierScores = scenario::DossierDeDonnees;
using Table = std::array<int32_t, 5>;
const char* const SCORES = FICHIER_HIGHSCORES;

// Octal escapes: a hexadecimal one would swallow the letter after it.
const std::string messageLecture = "Erreur Fichier: Ouverture du fichier \351chou\351e lors de la "
                                   "r\351cup\351ration des HighScores";
const std::string messageSauvegarde =
    "Erreur Fichier: Ouverture du fichier \351chou\351e lors de la sauvegarde des HighScores";

// What a text reads as, over entries of -7.
Table lecture(const std::string& texte) {
    scenario::ecrire(SCORES, texte);
    Table table = {-7, -7, -7, -7, -7};
    recupHighScores(table.data());
    return table;
}

// What a file reads as, scanned the way "%d" scans (any white space, a sign, numbers clamped to
// 32 bits, a number across two of the reader's 512-byte pieces, up to the first word that is
// not a number), and what a score then makes of it: the first rank whose entry is below it
// while the one above is above it, with the entries the file lacks as zeros and the lowest
// dropped; otherwise the file is left byte for byte.
TEST_F(FichierScores, ScoresReadAsScanfWouldAndRankStrictly) {
    const int32_t x = -7, bas = INT32_MIN, haut = INT32_MAX;
    const std::string coupe = std::string(509, ' ') + "123456 7 8 9 10";
    const std::tuple<std::string, Table, int32_t, std::string> cas[] = {
        {"50 40 30 20 10", {50, 40, 30, 20, 10}, 60, "60 50 40 30 20"},
        {"50 40 30 20 10", {50, 40, 30, 20, 10}, 35, "50 40 35 30 20"},
        {"50 40 30 20 10", {50, 40, 30, 20, 10}, 15, "50 40 30 20 15"},
        {"50 40 30 20 10", {50, 40, 30, 20, 10}, 30, ""},
        {"50 40 30 20 10", {50, 40, 30, 20, 10}, 5, ""},
        {"\t57\n43\r\n40\v12\f3 et la suite", {57, 43, 40, 12, 3}, 44, "57 44 43 40 12"},
        {coupe, {123456, 7, 8, 9, 10}, 8, "123456 8 7 8 9"},
        {"+5 -0 -2147483649 99999999999", {5, 0, bas, haut, x}, 3, "5 3 0 -2147483648 2147483647"},
        {"1 2 x 4 5", {1, 2, x, x, x}, 3, "3 1 2 0 0"},
        {"1 2-3", {1, 2, -3, x, x}, -2, "1 2 -2 -3 0"},
        {"", {x, x, x, x, x}, 4, "4 0 0 0 0"},
        {"0 0 0 0 0", {0, 0, 0, 0, 0}, 0, ""}};
    for (const auto& [texte, lue, score, apres] : cas) {
        SCOPED_TRACE(texte.substr(std::min(texte.size(), texte.find_first_not_of(" "))) + ", " +
                     std::to_string(score));
        EXPECT_EQ(lecture(texte), lue);
        sauverHighScores(score);
        EXPECT_EQ(scenario::lire(SCORES), apres.empty() ? texte : apres);
    }
}

// Missing, a directory, a FIFO nobody writes to, /dev/null (which would take any score and
// lose it), a table that does not end before the reading's limit: each reading and saving
// gives its message, nothing blocks, and nothing is created or rewritten.
TEST_F(FichierScores, AnythingButARegularFileCountsAsMissing) {
    // The table's last digit one byte past the first MiB.
    const std::string tropLong = std::string((1 << 20) - 13, ' ') + "50 40 30 20 10";
    std::vector<std::pair<std::string, std::function<void()>>> sortes = {
        {"missing", [] {}},
        {"directory", [] { fs::create_directory(SCORES); }},
        {"too long", [&] { scenario::ecrire(SCORES, tropLong); }}};
#ifndef _WIN32
    sortes.insert(sortes.begin() + 2,
                  {{"fifo", [] { mkfifo(SCORES, 0644); }},
                   {"/dev/null", [] { fs::create_symlink("/dev/null", SCORES); }}});
#endif
    for (const auto& [sorte, preparer] : sortes) {
        fs::remove_all(SCORES);
        preparer();
        Table table = {1, 2, 3, 4, 5};
        testing::internal::CaptureStderr();
        recupHighScores(table.data());
        sauverHighScores(42);
        EXPECT_EQ(std::tuple(testing::internal::GetCapturedStderr(), table, fs::exists(SCORES)),
                  std::tuple(messageLecture + messageSauvegarde, Table{1, 2, 3, 4, 5},
                             sorte != "missing"))
            << sorte;
    }
    EXPECT_TRUE(scenario::lire(SCORES) == tropLong);
}

// Two games in threads of one process open the file apart, and the locks keep them apart as
// they keep two processes: the second game, let in while the first is about to write, would
// rank its score into the old table and drop the first one's.
TEST_F(FichierScores, TwoGamesEndingTogetherBothKeepTheirScores) {
    scenario::ecrire(SCORES, "50 40 30 20 10");
    deuxiemeAttend = deuxiemeALu = false;
    std::jthread premiere([] {
        partieJouee = 1;
        sauverHighScores(60);
    });
    std::jthread deuxieme([] {
        partieJouee = 2;
        std::unique_lock verrou(tour);
        reveil.wait_for(verrou, std::chrono::seconds(10), [] { return deuxiemeAttend; });
        verrou.unlock();
        sauverHighScores(55);
    });
    premiere.join();
    deuxieme.join();
    EXPECT_EQ(scenario::lire(SCORES), "60 55 50 40 30");
}

// Whether the program dies between any two changes to the file, the disk takes less than
// asked, or a full disk or a file-size limit stops the longer text, the file reads as the old
// table or the new one, and a score that could not be written gives the message.
TEST_F(FichierScores, AnInterruptedRewriteLeavesTheOldTableOrTheNew) {
    const std::tuple<std::string, int32_t, std::string> cas[] = {
        {"-5 -10 -20 -30 -40", 4, "4 -5 -10 -20 -30"},
        {"99 98 97 96 95", 100, "100 99 98 97 96"},
        {"50 40 30 20 10      ", 60, "60 50 40 30 20"},
        // The largest file read whole.
        {std::string((1 << 20) - 14, ' ') + "50 40 30 20 10", 60, "60 50 40 30 20"}};
    for (const auto& [avant, score, apres] : cas) {
        SCOPED_TRACE(apres + " from " + std::to_string(avant.size()) + " bytes");
        const Table ancienne = lecture(avant), nouvelle = lecture(apres);
        for (int coupure = 1; coupure <= 4; ++coupure) {
            scenario::ecrire(SCORES, avant);
            EXPECT_EXIT((changementsAvantArret = coupure, sauverHighScores(score), std::_Exit(0)),
                        testing::ExitedWithCode(0), "");
            const Table lue = lecture(scenario::lire(SCORES));
            EXPECT_TRUE(lue == ancienne || lue == nouvelle) << "killed at change " << coupure;
        }
        scenario::ecrire(SCORES, avant);
        ecrituresCourtes = true;
        testing::internal::CaptureStderr();
        sauverHighScores(score);
        ecrituresCourtes = false;
        EXPECT_EQ(std::tuple(testing::internal::GetCapturedStderr(), scenario::lire(SCORES)),
                  std::tuple("", apres));
        // No room on the disk past the old text.
        const bool tient = apres.size() <= avant.size();
        scenario::ecrire(SCORES, avant);
        placeSurLeDisque = static_cast<int64_t>(avant.size());
        testing::internal::CaptureStderr();
        sauverHighScores(score);
        placeSurLeDisque = INT64_MAX;
        EXPECT_EQ(
            std::tuple(testing::internal::GetCapturedStderr(), lecture(scenario::lire(SCORES))),
            std::tuple(tient ? "" : messageSauvegarde, tient ? nouvelle : ancienne));
#ifndef _WIN32
        // A real file-size limit at the old length. The death test keeps the error stream in a
        // file, which the limit would cut: the message waits in a buffer until the limit is lifted.
        scenario::ecrire(SCORES, avant);
        rlimit limite{}, sansLimite{};
        getrlimit(RLIMIT_FSIZE, &sansLimite);
        limite = {avant.size(), sansLimite.rlim_max};
        char tampon[BUFSIZ];
        EXPECT_EXIT((std::setvbuf(stderr, tampon, _IOFBF, sizeof tampon),
                     setrlimit(RLIMIT_FSIZE, &limite), sauverHighScores(score),
                     setrlimit(RLIMIT_FSIZE, &sansLimite), std::exit(0)),
                    testing::ExitedWithCode(0), testing::Eq(tient ? "" : messageSauvegarde));
        EXPECT_EQ(lecture(scenario::lire(SCORES)), tient ? nouvelle : ancienne);
#endif
    }
}

} // namespace
