// The click game and the submission of its score.
#include "jeu.h"

#include "audio.h"
#include "ecran.h"
#include "fichier_scores.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t DUREE_PARTIE = 10000; // milliseconds of game time
constexpr int32_t PAS = 100;            // one countdown step
// While it waits for the next step the game wakes this often to handle what
// came: a click is counted and heard within a few milliseconds of its release.
constexpr uint32_t TRANCHE = 4;

// Where the game stands. Once the time is up it goes through the last three,
// one a pass, and stays in the last until the player leaves.
enum class Phase {
    comptage, // time remains: clicks count and the countdown steps
    fin,      // the song stops and "C'est finiii !" shows
    sonDeFin, // the end sound plays, once
    repos,    // the picture stands: the screen waits for the player to leave
};

// The state of one game; nothing carries over to the next.
struct Partie {
    bool continuer = true;
    Phase phase = Phase::comptage;
    int32_t tempsRestant = DUREE_PARTIE;
    int32_t nombreClics = 0;
    bool clicArme = false;
    // Whether the count has gone into the score file.
    bool scoreEntre = false;
    // Once the time is up the picture no longer changes: it is drawn again
    // only when the window has been uncovered.
    bool aRedessiner = false;
    uint32_t dernierTop = 0;
};

// The wheel's notches arrive as presses and releases of buttons 4 and 5:
// scrolling is not clicking. Every real button counts, side buttons included.
bool estMolette(const SDL_Event& evenement) {
    return evenement.button.button == SDL_BUTTON_WHEELUP ||
           evenement.button.button == SDL_BUTTON_WHEELDOWN;
}

// A click counts on the release of a button pressed while time remained; one
// flag serves every button, so two buttons pressed together count once.
void traiterEvenement(Partie& partie, const SDL_Event& evenement, FSOUND_SAMPLE* sonClic) {
    if (evenement.type == SDL_MOUSEBUTTONDOWN) {
        if (partie.tempsRestant > 0 && !estMolette(evenement)) {
            partie.clicArme = true;
        }
    } else if (evenement.type == SDL_MOUSEBUTTONUP) {
        if (partie.clicArme && partie.tempsRestant > 0 && !estMolette(evenement)) {
            FSOUND_PlaySound(FSOUND_FREE, sonClic);
            ++partie.nombreClics;
            partie.clicArme = false;
        }
    } else if (evenement.type == SDL_VIDEOEXPOSE) {
        partie.aRedessiner = true;
    } else if (demandeDeSortie(evenement)) {
        partie.continuer = false;
    }
}

// Every pending event, not just one: a click left waiting in the queue when
// the time runs out would not count. Once the player asks to leave, what
// follows is left for the menu.
void traiterEvenements(Partie& partie, FSOUND_SAMPLE* sonClic) {
    SDL_Event evenement;
    while (partie.continuer && SDL_PollEvent(&evenement) != 0) {
        traiterEvenement(partie, evenement, sonClic);
    }
}

// Sleeps until the next step is due, in short slices with the events handled
// between them. Waiting here, just before the step, rather than before the
// frame that precedes it, keeps the time taken to draw and show that frame
// out of the countdown: each step comes 100 ms after the last. The
// difference is unsigned, so the clock wrapping around changes nothing.
void attendrePas(Partie& partie, FSOUND_SAMPLE* sonClic) {
    while (partie.continuer) {
        const uint32_t ecoule = SDL_GetTicks() - partie.dernierTop;
        if (ecoule >= static_cast<uint32_t>(PAS)) {
            return;
        }
        SDL_Delay(std::min(static_cast<uint32_t>(PAS) - ecoule, TRANCHE));
        traiterEvenements(partie, sonClic);
    }
}

// What the screen opens, all released when it closes.
struct Ressources {
    TTF_Font* police;
    SDL_Surface* fond;
    FMUSIC_MODULE* musique;
    FSOUND_SAMPLE* sonClic;
    FSOUND_SAMPLE* sonFin;
    SDL_Surface* surfaceTemps; // the countdown line
    SDL_Surface* surfaceClics; // the counter, once the first pass has drawn it
};

void remplacer(SDL_Surface*& surface, TTF_Font* police, const char* texte) {
    SDL_FreeSurface(surface);
    surface = rendreTexte(police, texte, true);
}

// One step of exactly 100 per 100 ms or more, never catching up after a
// stall: the countdown lasts at least 9.9 seconds. The step that reaches 0 is
// still shown; the next pass finishes the game.
void avancerDecompte(Partie& partie, Ressources& r) {
    const uint32_t maintenant = SDL_GetTicks();
    if (maintenant - partie.dernierTop < static_cast<uint32_t>(PAS)) {
        return;
    }
    partie.tempsRestant -= PAS;
    char texte[40];
    std::snprintf(texte, sizeof texte, "Plus que : %d millisecondes",
                  static_cast<int>(partie.tempsRestant));
    remplacer(r.surfaceTemps, r.police, texte);
    partie.dernierTop = maintenant;
    if (partie.tempsRestant <= 0) {
        partie.phase = Phase::fin;
    }
}

// A pass while time remains: the step when it is due, and the counter.
void compter(Partie& partie, Ressources& r) {
    attendrePas(partie, r.sonClic);
    avancerDecompte(partie, r);
    // Room for the longest text, with any 32-bit count in it.
    char texte[42];
    std::snprintf(texte, sizeof texte, "Vous avez cliqu\xE9(e) [ %d ] fois !",
                  static_cast<int>(partie.nombreClics));
    remplacer(r.surfaceClics, r.police, texte);
    partie.aRedessiner = true;
}

// A pass once the time is up, one step of the finished game's sequence each:
// the song stops and "C'est finiii !" shows, then the end sound plays, then
// the screen rests. The counter keeps the last count.
void finir(Partie& partie, Ressources& r) {
    if (partie.phase == Phase::fin) {
        FMUSIC_StopSong(r.musique);
        remplacer(r.surfaceTemps, r.police, "C'est finiii !");
        partie.aRedessiner = true;
    }
    // Submitted on every pass until it has gone in, and never after: in a
    // table not sorted, a later pass would find its own entry out of place
    // and insert it a second time, pushing another score out.
    if (!partie.scoreEntre) {
        partie.scoreEntre = sauverHighScores(partie.nombreClics);
    }
    if (partie.phase == Phase::sonDeFin) {
        FSOUND_PlaySound(FSOUND_FREE, r.sonFin);
    }
    partie.phase = partie.phase == Phase::fin ? Phase::sonDeFin : Phase::repos;
}

void dessiner(SDL_Surface* ecran, const Ressources& r) {
    commencerImage(ecran, "Pressathon - JOUE");
    dessinerCentre(ecran, r.fond);
    if (r.surfaceTemps != nullptr) {
        dessinerA(ecran, r.surfaceTemps, ecran->w / 2 - r.surfaceTemps->w / 2,
                  ecran->h - ecran->h / 15 - r.surfaceTemps->h / 2);
    }
    dessinerCentre(ecran, r.surfaceClics);
    SDL_Flip(ecran);
}

} // namespace

void jouer(SDL_Surface* surfaceEcran, TTF_Font*) {
    Ressources r{};
    r.police = ouvrirPolice("journal.ttf", 45, TTF_STYLE_NORMAL);
    SDL_WM_SetCaption("Pressathon - JOUE", nullptr);
    r.fond = chargerImage("IMG/fondJeu.png");

    Partie partie;
    // The first step comes at once, whatever the clock reads.
    partie.dernierTop = SDL_GetTicks() - PAS;
    char texteTemps[40];
    std::snprintf(texteTemps, sizeof texteTemps, "Temps : %d",
                  static_cast<int>(partie.tempsRestant));
    r.surfaceTemps = rendreTexte(r.police, texteTemps, true);

    r.musique = FMUSIC_LoadSong("MUSIC/jeu01.mid");
    partie.continuer = r.musique != nullptr;
    FMUSIC_PlaySong(r.musique);
    r.sonClic = FSOUND_Sample_Load(FSOUND_FREE, "SFX/click.wav", 0, 0, 0);
    r.sonFin = FSOUND_Sample_Load(FSOUND_FREE, "SFX/finJeuClickClassic.wav", 0, 0, 0);
    // The pointer's motion means nothing to the game, and SDL keeps only 128
    // pending events: a pointer racing at a thousand moves a second would
    // fill the queue during one 100 ms step and push clicks out of it.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);

    while (partie.continuer) {
        traiterEvenements(partie, r.sonClic);
        if (partie.phase == Phase::comptage) {
            compter(partie, r);
        } else {
            finir(partie, r);
        }
        if (partie.aRedessiner) {
            dessiner(surfaceEcran, r);
            partie.aRedessiner = false;
        } else if (partie.continuer && partie.phase == Phase::repos) {
            // The next pass waits for an event, as the menu does.
            while (SDL_PollEvent(nullptr) == 0) {
                SDL_Delay(TRANCHE_REPOS);
            }
        }
    }

    // The other screens redraw when the pointer moves.
    SDL_EventState(SDL_MOUSEMOTION, SDL_ENABLE);
    FMUSIC_FreeSong(r.musique);
    FSOUND_Sample_Free(r.sonFin);
    FSOUND_Sample_Free(r.sonClic);
    SDL_FreeSurface(r.surfaceTemps);
    SDL_FreeSurface(r.surfaceClics);
    if (r.police != nullptr) {
        TTF_CloseFont(r.police);
    }
    SDL_FreeSurface(r.fond);
}

bool sauverHighScores(int32_t score) {
    const Depot depot = deposerScore(score);
    if (depot == Depot::echec) {
        std::fputs("Erreur Fichier: Ouverture du fichier \xE9"
                   "chou\xE9"
                   "e lors de la sauvegarde des HighScores",
                   stderr);
    }
    return depot == Depot::entre;
}
