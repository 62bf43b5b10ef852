// Score file: reading, ranked insertion, rewriting in place, failures and concurrent games.
#include "highscores.h"
#include "jeu.h"
#include "scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The file's changes (writes and truncations) are counted, so that a test can
// stop the program just before any one of them; writes may also be made to
// take two bytes at a time, as a disk short of room or a signal may do.
static int modificationsAvantArret = 0;
static bool ecrituresCourtes = false;

extern "C" {
ssize_t __real_pwrite(int fichier, const void* octets, size_t taille, off_t position);
int __real_ftruncate(int fichier, off_t taille);

static void compterModification() {
    if (modificationsAvantArret > 0 && --modificationsAvantArret == 0) {
        _exit(0);
    }
}

ssize_t __wrap_pwrite(int fichier, const void* octets, size_t taille, off_t position) {
    compterModification();
    return __real_pwrite(fichier, octets, ecrituresCourtes ? std::min<size_t>(taille, 2) : taille,
                         position);
}

int __wrap_ftruncate(int fichier, off_t taille) {
    compterModification();
    return __real_ftruncate(fichier, taille);
}
}

namespace {

namespace fs = std::filesystem;

using Table = std::array<int32_t, 5>;

// Octal escapes: a hexadecimal one would swallow the letter after it.
const std::string messageLecture = "Erreur Fichier: Ouverture du fichier \351chou\351e lors de la "
                                   "r\351cup\351ration des HighScores";
const std::string messageSauvegarde =
    "Erreur Fichier: Ouverture du fichier \351chou\351e lors de la sauvegarde des HighScores";

// Each test runs in a copy of the game's data, the working directory.
class FichierScores : public ::testing::Test {
  protected:
    Table lecture(const std::string& texte) {
        dossier.ecrire(FICHIER_HIGHSCORES, texte);
        Table table = {-7, -7, -7, -7, -7};
        testing::internal::CaptureStderr();
        recupHighScores(table.data());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        return table;
    }

    scenario::Dossier dossier;
};

// The first strict rule that holds places the score, the last entry drops,
// and the file is rewritten in the writer's form; an equal or low score leaves
// it untouched, layout and all.
TEST_F(FichierScores, AScoreTakesItsRankAndTheLastEntryDrops) {
    const std::string bizarre = "50  40\n30\t20 10\n";
    const std::tuple<std::string, int32_t, std::string> cas[] = {
        {"50 40 30 20 10", 60, "60 50 40 30 20"},
        {"50 40 30 20 10", 35, "50 40 35 30 20"},
        {"50 40 30 20 10", 15, "50 40 30 20 15"},
        {"0 0 0 0 0 ", 0, "0 0 0 0 0 "},
        {bizarre, 5, bizarre},
        {bizarre, 50, bizarre},
        // Entries the file lacks count as zeros.
        {"", 7, "7 0 0 0 0"},
        // An unsorted file is not repaired.
        {"10 50 30 20 40", 35, "35 10 50 30 20"},
        // A longer old text leaves nothing behind.
        {"-100000 -200000 -300000 -400000 -500000", 7, "7 -100000 -200000 -300000 -400000"},
        // Out of range, an entry is read as the nearest bound.
        {"4294967296 -4294967297 0 0 0", 5, "2147483647 5 -2147483648 0 0"},
    };
    for (const auto& [avant, score, apres] : cas) {
        dossier.ecrire(FICHIER_HIGHSCORES, avant);
        testing::internal::CaptureStderr();
        sauverHighScores(score);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(dossier.lire(FICHIER_HIGHSCORES), apres) << avant << " with " << score;
    }
}

// Up to five numbers as "%d" would scan them, however far into the file; the
// reading stops at the first that does not parse.
TEST_F(FichierScores, ReadingStopsAtTheFirstEntryThatDoesNotParse) {
    const int32_t X = -7; // left as it was
    // 4096 bytes: a boundary of the pieces the file is read in.
    const std::string page(4096, ' ');
    const std::pair<std::string, Table> cas[] = {
        {"57 43 40 12 3", {57, 43, 40, 12, 3}},
        {"\t 12\n\n-3\r\n+4\v5\f6 7 8", {12, -3, 4, 5, 6}},
        {"1 2 x 4 5", {1, 2, X, X, X}},
        {"7-2+1", {7, -2, 1, X, X}},
        {std::string("3\0 4", 4), {3, X, X, X, X}},
        {"99999999999 -99999999999 2147483648 -2147483649 -2147483648",
         {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN}},
        {std::string(5000, ' ') + "50 40 30 20 10", {50, 40, 30, 20, 10}},
        {std::string(5000, '0') + "50 40 30 20 10", {50, 40, 30, 20, 10}},
        // A number or a sign astride two pieces.
        {page.substr(2) + "123 -4 +5", {123, -4, 5, X, X}},
        {page.substr(1) + "-8 +x", {-8, X, X, X, X}},
        {page.substr(10) + "21474836480 1", {INT32_MAX, 1, X, X, X}},
        // The largest file read, ending where the reading must stop.
        {std::string(LIMITE_LECTURE - 9, ' ') + "1 2 3 4 5", {1, 2, 3, 4, 5}},
    };
    for (const auto& [texte, table] : cas) {
        EXPECT_EQ(lecture(texte), table) << texte.substr(texte.find_first_not_of(" 0"), 40);
    }
}

// Missing, a directory, a FIFO nobody writes to, a table that does not end
// before the reading's limit: each reading and saving gives its message,
// nothing blocks, and nothing is created or rewritten.
TEST_F(FichierScores, AnythingButARegularFileCountsAsMissing) {
    const std::string tropLong = std::string(LIMITE_LECTURE - 4, ' ') + "50 40 30 20 10";
    for (const char* sorte : {"missing", "directory", "fifo", "/dev/null", "too long"}) {
        SCOPED_TRACE(sorte);
        fs::remove_all(FICHIER_HIGHSCORES);
        if (std::string(sorte) == "directory") {
            fs::create_directory(FICHIER_HIGHSCORES);
        } else if (std::string(sorte) == "fifo") {
            ASSERT_EQ(mkfifo(FICHIER_HIGHSCORES, 0644), 0);
        } else if (std::string(sorte) == "/dev/null") {
            // Reads as empty and takes any write: a score written there is lost.
            fs::create_symlink("/dev/null", FICHIER_HIGHSCORES);
        } else if (std::string(sorte) == "too long") {
            dossier.ecrire(FICHIER_HIGHSCORES, tropLong);
        }
        Table table = {1, 2, 3, 4, 5};
        testing::internal::CaptureStderr();
        recupHighScores(table.data());
        sauverHighScores(42);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), messageLecture + messageSauvegarde);
        EXPECT_EQ(table, (Table{1, 2, 3, 4, 5}));
        EXPECT_EQ(fs::exists(FICHIER_HIGHSCORES), std::string(sorte) != "missing");
    }
    EXPECT_TRUE(dossier.lire(FICHIER_HIGHSCORES) == tropLong);
}

TEST_F(FichierScores, AReadOnlyFileIsReadButKeepsNoScore) {
    dossier.ecrire(FICHIER_HIGHSCORES, "50 40 30 20 10");
    fs::permissions(FICHIER_HIGHSCORES, fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(fs::current_path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    // Root ignores permissions, so the game runs in a child as an ordinary
    // user; the child's exit status says what it read.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
                _exit(3);
            }
            Table table = {};
            recupHighScores(table.data());
            sauverHighScores(99);
            _exit(table == Table{50, 40, 30, 20, 10} ? 0 : 2);
        },
        testing::ExitedWithCode(0), testing::Eq(messageSauvegarde));
    EXPECT_EQ(dossier.lire(FICHIER_HIGHSCORES), "50 40 30 20 10");
}

TEST_F(FichierScores, TwoGamesEndingTogetherBothKeepTheirScores) {
    int perdues = 0;
    for (int manche = 0; manche < 200; ++manche) {
        dossier.ecrire(FICHIER_HIGHSCORES, "50 40 30 20 10");
        int depart[2];
        ASSERT_EQ(pipe(depart), 0);
        for (int i = 0; i < 2; ++i) {
            if (fork() == 0) {
                close(depart[1]);
                char octet;
                // Both wait here until the parent closes the pipe.
                while (read(depart[0], &octet, 1) > 0) {
                }
                sauverHighScores(i == 0 ? 60 : 55);
                _exit(0);
            }
        }
        close(depart[0]);
        close(depart[1]);
        while (wait(nullptr) > 0) {
        }
        perdues += dossier.lire(FICHIER_HIGHSCORES) != "60 55 50 40 30";
    }
    EXPECT_EQ(perdues, 0);
}

// Whether the program dies between any two system calls or the disk takes
// less than asked, the file reads as the old table or the new one, and a
// score that could not be written gives the message.
TEST_F(FichierScores, AnInterruptedRewriteLeavesTheOldTableOrTheNew) {
    const std::tuple<std::string, int32_t, std::string> cas[] = {
        {"-5 -10 -20 -30 -40", 4, "4 -5 -10 -20 -30"},
        {"99 98 97 96 95", 100, "100 99 98 97 96"},
        {"50 40 30 20 10      ", 60, "60 50 40 30 20"},
    };
    for (const auto& [avant, score, apres] : cas) {
        SCOPED_TRACE(avant);
        const Table ancienne = lecture(avant);
        const Table nouvelle = lecture(apres);
        // Killed before the first, second... change made to the file.
        for (int coupure = 1; coupure <= 4; ++coupure) {
            dossier.ecrire(FICHIER_HIGHSCORES, avant);
            EXPECT_EXIT(
                {
                    modificationsAvantArret = coupure;
                    sauverHighScores(score);
                    _exit(0);
                },
                testing::ExitedWithCode(0), "");
            const Table lue = lecture(dossier.lire(FICHIER_HIGHSCORES));
            EXPECT_TRUE(lue == ancienne || lue == nouvelle) << "killed at change " << coupure;
        }
        // Writes that take two bytes at a time still write the whole table.
        dossier.ecrire(FICHIER_HIGHSCORES, avant);
        ecrituresCourtes = true;
        testing::internal::CaptureStderr();
        sauverHighScores(score);
        ecrituresCourtes = false;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(dossier.lire(FICHIER_HIGHSCORES), apres);
        // A file-size limit at the old length: longer texts cannot be written.
        // The death test keeps the error stream in a file, which the limit
        // would cut: the message waits in a buffer until the limit is lifted.
        dossier.ecrire(FICHIER_HIGHSCORES, avant);
        const bool tient = apres.size() <= avant.size();
        rlimit limite{};
        getrlimit(RLIMIT_FSIZE, &limite);
        const rlimit sansLimite = limite;
        limite.rlim_cur = avant.size();
        EXPECT_EXIT(
            {
                char tampon[BUFSIZ];
                std::setvbuf(stderr, tampon, _IOFBF, sizeof tampon);
                setrlimit(RLIMIT_FSIZE, &limite);
                sauverHighScores(score);
                setrlimit(RLIMIT_FSIZE, &sansLimite);
                std::exit(0);
            },
            testing::ExitedWithCode(0), testing::Eq(tient ? "" : messageSauvegarde));
        EXPECT_EQ(lecture(dossier.lire(FICHIER_HIGHSCORES)), tient ? nouvelle : ancienne);
    }
}

} // namespace
