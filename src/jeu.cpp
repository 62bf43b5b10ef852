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

// The state of one game; nothing carries over to the next.
struct Partie {
    bool continuer = true;
    int32_t tempsRestant = DUREE_PARTIE;
    int32_t nombreClics = 0;
    bool clicArme = false;
    int phaseFin = 0;
    // Once the time is up the picture no longer changes: it is drawn again
    // only when the window has been uncovered.
    bool aRedessiner = false;
    // The first step comes at once, whatever the clock reads.
    bool premierPasFait = false;
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
// out of the countdown: each step comes 100 ms after the last.
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

void remplacer(SDL_Surface*& surface, TTF_Font* police, const char* texte) {
    SDL_FreeSurface(surface);
    surface = rendreTexte(police, texte, true);
}

} // namespace

void jouer(SDL_Surface* surfaceEcran, TTF_Font*) {
    TTF_Font* police = ouvrirPolice("journal.ttf", 45, TTF_STYLE_NORMAL);
    SDL_WM_SetCaption("Pressathon - JOUE", nullptr);
    SDL_Surface* fond = chargerImage("IMG/fondJeu.png");

    Partie partie;
    // Room for the longest texts, with any 32-bit number in them.
    char texteTemps[40];
    char texteClics[42];
    std::snprintf(texteTemps, sizeof texteTemps, "Temps : %d",
                  static_cast<int>(partie.tempsRestant));
    SDL_Surface* surfaceTemps = rendreTexte(police, texteTemps, true);
    SDL_Surface* surfaceClics = nullptr;

    FMUSIC_MODULE* musique = FMUSIC_LoadSong("MUSIC/jeu01.mid");
    if (musique == nullptr) {
        partie.continuer = false;
    }
    FMUSIC_PlaySong(musique);
    FSOUND_SAMPLE* sonClic = FSOUND_Sample_Load(FSOUND_FREE, "SFX/click.wav", 0, 0, 0);
    FSOUND_SAMPLE* sonFin = FSOUND_Sample_Load(FSOUND_FREE, "SFX/finJeuClickClassic.wav", 0, 0, 0);
    // The pointer's motion means nothing to the game, and SDL keeps only 128
    // pending events: a pointer racing at a thousand moves a second would
    // fill the queue during one 100 ms step and push clicks out of it.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);

    while (partie.continuer) {
        traiterEvenements(partie, sonClic);
        if (partie.tempsRestant > 0 && partie.premierPasFait) {
            attendrePas(partie, sonClic);
        }
        if (partie.tempsRestant <= 0) {
            FMUSIC_StopSong(musique);
        }
        const uint32_t maintenant = SDL_GetTicks();
        // Read before the step: the step that reaches 0 is still shown.
        const bool compte = partie.tempsRestant > 0;

        if (compte) {
            // One step of exactly 100 per 100 ms or more, never catching up
            // after a stall: the countdown lasts at least 9.9 seconds. The
            // difference is unsigned, so the clock wrapping around changes
            // nothing.
            if (!partie.premierPasFait || maintenant - partie.dernierTop >= PAS) {
                partie.tempsRestant -= PAS;
                std::snprintf(texteTemps, sizeof texteTemps, "Plus que : %d millisecondes",
                              static_cast<int>(partie.tempsRestant));
                remplacer(surfaceTemps, police, texteTemps);
                partie.dernierTop = maintenant;
                partie.premierPasFait = true;
            }
            std::snprintf(texteClics, sizeof texteClics, "Vous avez cliqu\xE9(e) [ %d ] fois !",
                          static_cast<int>(partie.nombreClics));
            remplacer(surfaceClics, police, texteClics);
        } else {
            if (partie.phaseFin == 0) {
                std::snprintf(texteTemps, sizeof texteTemps, "C'est finiii !");
                remplacer(surfaceTemps, police, texteTemps);
                partie.aRedessiner = true;
            }
            // Submitted on every pass: the same count never enters a sorted
            // table twice.
            sauverHighScores(partie.nombreClics);
            if (partie.phaseFin == 1) {
                FSOUND_PlaySound(FSOUND_FREE, sonFin);
            }
            if (partie.phaseFin < 2) {
                ++partie.phaseFin;
            }
        }

        if (compte || partie.aRedessiner) {
            commencerImage(surfaceEcran, "Pressathon - JOUE");
            dessinerCentre(surfaceEcran, fond);
            if (surfaceTemps != nullptr) {
                dessinerA(surfaceEcran, surfaceTemps, surfaceEcran->w / 2 - surfaceTemps->w / 2,
                          surfaceEcran->h - surfaceEcran->h / 15 - surfaceTemps->h / 2);
            }
            dessinerCentre(surfaceEcran, surfaceClics);
            SDL_Flip(surfaceEcran);
            partie.aRedessiner = false;
        } else if (partie.continuer && partie.phaseFin == 2) {
            // The time is up, the end sound has played and the picture
            // stands: the next pass waits for an event, as the menu does.
            while (SDL_PollEvent(nullptr) == 0) {
                SDL_Delay(TRANCHE_REPOS);
            }
        }
    }

    // The other screens redraw when the pointer moves.
    SDL_EventState(SDL_MOUSEMOTION, SDL_ENABLE);
    FMUSIC_FreeSong(musique);
    FSOUND_Sample_Free(sonFin);
    FSOUND_Sample_Free(sonClic);
    SDL_FreeSurface(surfaceTemps);
    SDL_FreeSurface(surfaceClics);
    if (police != nullptr) {
        TTF_CloseFont(police);
    }
    SDL_FreeSurface(fond);
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
