// Score file: reading, ranked insertion, rewriting in place, failures and concurrent games.
#include "highscores.h"
#include "jeu.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The file's changes (writes and truncations) are counted, so that a test can
// stop the program just before any one of them.
static int modificationsAvantArret = 0;

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
    return __real_pwrite(fichier, octets, taille, position);
}

int __wrap_ftruncate(int fichier, off_t taille) {
    compterModification();
    return __real_ftruncate(fichier, taille);
}
}

namespace {

namespace fs = std::filesystem;

using Table = std::array<int32_t, 5>;

const std::string messageLecture = "Erreur Fichier: Ouverture du fichier \xE9"
                                   "chou\xE9"
                                   "e lors de la r\xE9"
                                   "cup\xE9"
                                   "ration des HighScores";
const std::string messageSauvegarde = "Erreur Fichier: Ouverture du fichier \xE9"
                                      "chou\xE9"
                                      "e lors de la sauvegarde des HighScores";

// Everything the call writes on the error stream, byte for byte.
std::string erreursDe(const std::function<void()>& appel) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int ancien = dup(STDERR_FILENO);
    dup2(fileno(capture), STDERR_FILENO);
    appel();
    std::fflush(stderr);
    dup2(ancien, STDERR_FILENO);
    close(ancien);
    std::string texte;
    std::rewind(capture);
    for (int c; (c = std::fgetc(capture)) != EOF;) {
        texte += static_cast<char>(c);
    }
    std::fclose(capture);
    return texte;
}

// Runs `action` in a child process whose error stream is a pipe: its wait
// status, and what it wrote there.
std::pair<int, std::string> dansUnEnfant(const std::function<void()>& action) {
    int tube[2];
    EXPECT_EQ(pipe(tube), 0);
    std::fflush(nullptr);
    const pid_t enfant = fork();
    if (enfant == 0) {
        dup2(tube[1], STDERR_FILENO);
        action();
        std::fflush(nullptr);
        _exit(0);
    }
    close(tube[1]);
    std::string erreurs;
    char bloc[256];
    for (ssize_t lu; (lu = read(tube[0], bloc, sizeof bloc)) > 0;) {
        erreurs.append(bloc, static_cast<size_t>(lu));
    }
    close(tube[0]);
    int etat = -1;
    waitpid(enfant, &etat, 0);
    return {etat, erreurs};
}

// Each test runs in a fresh directory of its own, which is the working
// directory while it runs.
class FichierScores : public ::testing::Test {
  protected:
    void SetUp() override {
        ancienDossier = fs::current_path();
        std::string modele = (fs::temp_directory_path() / "pressathon-scores-XXXXXX").string();
        ASSERT_NE(mkdtemp(modele.data()), nullptr);
        dossier = modele;
        fs::current_path(dossier);
    }
    void TearDown() override {
        fs::current_path(ancienDossier);
        fs::remove_all(dossier);
    }

    static void ecrire(const std::string& texte) {
        std::ofstream(FICHIER_HIGHSCORES, std::ios::binary) << texte;
    }
    static std::optional<std::string> contenu() {
        std::ifstream fichier(FICHIER_HIGHSCORES, std::ios::binary);
        if (!fichier) {
            return std::nullopt;
        }
        std::ostringstream texte;
        texte << fichier.rdbuf();
        return texte.str();
    }
    // Submits one score to a file holding `avant`; the file's text afterwards.
    static std::string apresSoumission(const std::string& avant, int32_t score) {
        ecrire(avant);
        EXPECT_EQ(erreursDe([&] { sauverHighScores(score); }), "");
        return contenu().value_or("<absent>");
    }
    static Table lecture(const std::string& texte, Table table = {-7, -7, -7, -7, -7}) {
        ecrire(texte);
        EXPECT_EQ(erreursDe([&] { recupHighScores(table.data()); }), "");
        return table;
    }

    fs::path ancienDossier;
    fs::path dossier;
};

TEST_F(FichierScores, AScoreTakesItsRankAndTheLastEntryDrops) {
    EXPECT_EQ(apresSoumission("50 40 30 20 10", 60), "60 50 40 30 20");
    EXPECT_EQ(apresSoumission("50 40 30 20 10", 35), "50 40 35 30 20");
    EXPECT_EQ(apresSoumission("50 40 30 20 10", 15), "50 40 30 20 15");
    EXPECT_EQ(apresSoumission("0 0 0 0 0", 3), "3 0 0 0 0");
    // Entries the file lacks count as zeros.
    EXPECT_EQ(apresSoumission("", 7), "7 0 0 0 0");
    EXPECT_EQ(apresSoumission("9 4", 5), "9 5 4 0 0");
    // An unsorted file is not repaired: the first rule that holds places it.
    EXPECT_EQ(apresSoumission("10 50 30 20 40", 35), "35 10 50 30 20");
    EXPECT_EQ(apresSoumission("50 10 40 20 30", 30), "50 30 10 40 20");
}

TEST_F(FichierScores, AnEqualOrLowScoreRewritesNothing) {
    // An odd layout shows that the file was not even rewritten.
    const std::string avant = "50  40\n30\t20 10\n";
    for (int32_t score : {5, 10, 30, 50}) {
        SCOPED_TRACE(score);
        EXPECT_EQ(apresSoumission(avant, score), avant);
    }
    EXPECT_EQ(apresSoumission("0 0 0 0 0 ", 0), "0 0 0 0 0 ");
}

TEST_F(FichierScores, ALongerOldTextIsWhollyReplaced) {
    EXPECT_EQ(apresSoumission("50 40 30 20 10                    999 999\n", 60), "60 50 40 30 20");
    EXPECT_EQ(apresSoumission("-100000 -200000 -300000 -400000 -500000", 7),
              "7 -100000 -200000 -300000 -400000");
    // Read back, what is left is exactly the new table.
    EXPECT_EQ(lecture(*contenu()), (Table{7, -100000, -200000, -300000, -400000}));
}

TEST_F(FichierScores, ReadingStopsAtTheFirstEntryThatDoesNotParse) {
    EXPECT_EQ(lecture("57 43 40 12 3"), (Table{57, 43, 40, 12, 3}));
    EXPECT_EQ(lecture("\t 12\n\n-3\r\n+4\v5\f6 7 8"), (Table{12, -3, 4, 5, 6}));
    EXPECT_EQ(lecture("1 2 x 4 5"), (Table{1, 2, -7, -7, -7}));
    EXPECT_EQ(lecture("1 - 2"), (Table{1, -7, -7, -7, -7}));
    // A sign starts a new number even without white space before it.
    EXPECT_EQ(lecture("7-2+1"), (Table{7, -2, 1, -7, -7}));
    EXPECT_EQ(lecture(std::string("3\0 4", 4)), (Table{3, -7, -7, -7, -7}));
    EXPECT_EQ(lecture(""), (Table{-7, -7, -7, -7, -7}));
}

TEST_F(FichierScores, OutOfRangeNumbersClampToTheNearestBound) {
    EXPECT_EQ(lecture("99999999999 -99999999999 2147483648 -2147483649 -2147483648"),
              (Table{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN}));
    EXPECT_EQ(apresSoumission("4294967296 -4294967297 0 0 0", 5), "2147483647 5 -2147483648 0 0");
}

TEST_F(FichierScores, OnlyTheStartOfTheFileIsRead) {
    const std::string blancs(4000, ' ');
    EXPECT_EQ(lecture(blancs + "1 2 3 4 5"), (Table{1, 2, 3, 4, 5}));
    EXPECT_EQ(lecture(std::string(LIMITE_LECTURE, '\n') + "1 2 3 4 5"),
              (Table{-7, -7, -7, -7, -7}));
    // A number reaching past the limit is read only when its clamped value is
    // already certain.
    EXPECT_EQ(lecture(std::string(LIMITE_LECTURE - 2, ' ') + "123 4"), (Table{-7, -7, -7, -7, -7}));
    EXPECT_EQ(lecture(std::string(LIMITE_LECTURE - 4, ' ') + "123 4"),
              (Table{123, -7, -7, -7, -7}));
    EXPECT_EQ(lecture(std::string(LIMITE_LECTURE - 10, ' ') + "21474836480 1"),
              (Table{INT32_MAX, -7, -7, -7, -7}));
    EXPECT_EQ(lecture("8 " + std::string(1 << 20, '9') + " 1"), (Table{8, INT32_MAX, -7, -7, -7}));
    EXPECT_EQ(apresSoumission(std::string(1 << 20, '5'), 1), "2147483647 1 0 0 0");
}

TEST_F(FichierScores, AnythingButARegularFileCountsAsMissing) {
    Table table = {1, 2, 3, 4, 5};
    EXPECT_EQ(erreursDe([&] { recupHighScores(table.data()); }), messageLecture);
    EXPECT_EQ(erreursDe([] { sauverHighScores(42); }), messageSauvegarde);
    EXPECT_FALSE(fs::exists(FICHIER_HIGHSCORES));
    fs::create_directory(FICHIER_HIGHSCORES);
    EXPECT_EQ(erreursDe([&] { recupHighScores(table.data()); }), messageLecture);
    EXPECT_EQ(erreursDe([] { sauverHighScores(42); }), messageSauvegarde);
    EXPECT_TRUE(fs::is_directory(FICHIER_HIGHSCORES));
    EXPECT_TRUE(fs::is_empty(FICHIER_HIGHSCORES));
    fs::remove(FICHIER_HIGHSCORES);
    // A pipe with no writer would block a plain open for reading forever.
    ASSERT_EQ(mkfifo(FICHIER_HIGHSCORES, 0644), 0);
    EXPECT_EQ(erreursDe([&] { recupHighScores(table.data()); }), messageLecture);
    EXPECT_EQ(erreursDe([] { sauverHighScores(42); }), messageSauvegarde);
    EXPECT_EQ(table, (Table{1, 2, 3, 4, 5}));
}

TEST_F(FichierScores, AReadOnlyFileIsReadButKeepsNoScore) {
    const std::string avant = "50 40 30 20 10";
    ecrire(avant);
    fs::permissions(FICHIER_HIGHSCORES,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dossier, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    // Root ignores permissions, so the game runs in a child as an ordinary
    // user; the child's exit status says what it read.
    const auto [etat, erreurs] = dansUnEnfant([] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        Table table = {};
        recupHighScores(table.data());
        sauverHighScores(99);
        _exit(table == Table{50, 40, 30, 20, 10} ? 0 : 2);
    });
    EXPECT_EQ(etat, 0);
    EXPECT_EQ(erreurs, messageSauvegarde);
    EXPECT_EQ(contenu(), avant);
}

TEST_F(FichierScores, TwoGamesEndingTogetherBothKeepTheirScores) {
    int perdues = 0;
    for (int manche = 0; manche < 50; ++manche) {
        ecrire("50 40 30 20 10");
        int depart[2];
        ASSERT_EQ(pipe(depart), 0);
        pid_t enfants[2];
        for (int i = 0; i < 2; ++i) {
            enfants[i] = fork();
            if (enfants[i] == 0) {
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
        for (pid_t enfant : enfants) {
            waitpid(enfant, nullptr, 0);
        }
        perdues += contenu() != "60 55 50 40 30";
    }
    EXPECT_EQ(perdues, 0);
}

// Whether the program dies between any two system calls or the disk takes
// less than asked, the file reads as the old table or the new one, and a
// score that could not be written gives the message.
TEST_F(FichierScores, AnInterruptedRewriteLeavesTheOldTableOrTheNew) {
    struct Cas {
        std::string avant;
        int32_t score;
        std::string apres;
    };
    for (const Cas& c : {Cas{"-5 -10 -20 -30 -40", 4, "4 -5 -10 -20 -30"},
                         Cas{"99 98 97 96 95", 100, "100 99 98 97 96"},
                         Cas{"50 40 30 20 10      ", 60, "60 50 40 30 20"}}) {
        SCOPED_TRACE(c.avant);
        const Table ancienne = lecture(c.avant);
        const Table nouvelle = lecture(c.apres);
        // Killed before the first, second... change made to the file.
        for (int coupure = 1; coupure <= 4; ++coupure) {
            ecrire(c.avant);
            dansUnEnfant([&] {
                modificationsAvantArret = coupure;
                sauverHighScores(c.score);
            });
            const Table lue = lecture(contenu().value_or(""));
            EXPECT_TRUE(lue == ancienne || lue == nouvelle) << "killed at change " << coupure;
        }
        // A file-size limit at the old length: longer texts cannot be written.
        ecrire(c.avant);
        const auto [etat, erreurs] = dansUnEnfant([&] {
            const rlimit limite = {c.avant.size(), c.avant.size()};
            setrlimit(RLIMIT_FSIZE, &limite);
            sauverHighScores(c.score);
        });
        const bool tient = c.apres.size() <= c.avant.size();
        EXPECT_EQ(etat, 0);
        EXPECT_EQ(lecture(contenu().value_or("")), tient ? nouvelle : ancienne);
        EXPECT_EQ(erreurs, tient ? "" : messageSauvegarde);
    }
}

} // namespace
