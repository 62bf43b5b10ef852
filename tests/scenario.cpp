// Scripted events and a virtual clock standing in for SDL's (see scenario.h).
#include "scenario.h"

#include "audio.h"

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace {

struct EvenementPrevu {
    uint32_t instant;
    SDL_Event evenement;
};

// A script that ran out while the program still waits for input would hang
// the test: after this long without events the program is asked to close.
constexpr uint32_t PATIENCE = 60000;

struct Etat {
    uint32_t horloge = 0;
    uint32_t dureeImage = 16;
    uint32_t dernierInstant = 0;
    bool epuise = false;
    std::deque<EvenementPrevu> file;
    std::vector<std::string> textes;
    std::vector<scenario::Dessin> dessins;
    std::map<const SDL_Surface*, std::string> textesDesSurfaces;
    std::vector<std::string> titres;
    std::vector<scenario::AppelAudio> appels;
    int flips = 0;
    uint32_t dormi = 0;
    std::function<void(SDL_Surface*)> observateur;
};

Etat& etat() {
    static Etat e;
    return e;
}

void noter(const char* operation, const void* poignee, int valeur = 0) {
    etat().appels.push_back({operation, poignee, valeur, etat().horloge});
}

// Hands out the next event if it is due; once the script is spent and the
// program has been left waiting long enough, a close request instead.
bool prochain(SDL_Event* sortie) {
    Etat& e = etat();
    if (e.file.empty()) {
        if (!e.epuise && e.horloge - e.dernierInstant > PATIENCE) {
            ADD_FAILURE() << "the script ran out and the program kept running";
            e.epuise = true;
        }
        if (e.epuise && sortie != nullptr) {
            *sortie = SDL_Event{};
            sortie->type = SDL_QUIT;
            return true;
        }
        return false;
    }
    // Compared as a signed difference: scripts may run across the clock's wrap.
    if (static_cast<int32_t>(e.file.front().instant - e.horloge) > 0) {
        return false;
    }
    if (sortie != nullptr) {
        *sortie = e.file.front().evenement;
    }
    e.file.pop_front();
    return true;
}

} // namespace

extern "C" {

Uint32 __real_SDL_GetTicks();
void __real_SDL_FreeSurface(SDL_Surface* surface);
void __real_SDL_WM_SetCaption(const char* titre, const char* icone);
int __real_SDL_Flip(SDL_Surface* ecran);
int __real_SDL_UpperBlit(SDL_Surface* source, SDL_Rect* zone, SDL_Surface* cible,
                         SDL_Rect* position);
SDL_Surface* __real_TTF_RenderText_Shaded(TTF_Font* police, const char* texte, SDL_Color avant,
                                          SDL_Color fond);
SDL_Surface* __real_TTF_RenderText_Blended(TTF_Font* police, const char* texte, SDL_Color avant);

bool __real_FSOUND_Init(int frequence, int canaux, unsigned int drapeaux);
void __real_FSOUND_Close();
FMUSIC_MODULE* __real_FMUSIC_LoadSong(const char* chemin);
void __real_FMUSIC_PlaySong(FMUSIC_MODULE* musique);
void __real_FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle);
void __real_FMUSIC_StopSong(FMUSIC_MODULE* musique);
void __real_FMUSIC_FreeSong(FMUSIC_MODULE* musique);
FSOUND_SAMPLE* __real_FSOUND_Sample_Load(int index, const char* chemin, unsigned int mode,
                                         int debut, int longueur);
void __real_FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son);
void __real_FSOUND_Sample_Free(FSOUND_SAMPLE* son);

Uint32 __wrap_SDL_GetTicks() {
    return etat().horloge;
}

void __wrap_SDL_Delay(Uint32 millisecondes) {
    etat().horloge += millisecondes;
    etat().dormi += millisecondes;
}

int __wrap_SDL_PollEvent(SDL_Event* evenement) {
    return prochain(evenement) ? 1 : 0;
}

int __wrap_SDL_WaitEvent(SDL_Event* evenement) {
    Etat& e = etat();
    if (!e.file.empty() && static_cast<int32_t>(e.file.front().instant - e.horloge) > 0) {
        e.horloge = e.file.front().instant;
    }
    if (e.file.empty() && !e.epuise) {
        e.horloge = e.dernierInstant + PATIENCE + 1;
    }
    return prochain(evenement) ? 1 : 0;
}

void __wrap_SDL_WM_SetCaption(const char* titre, const char* icone) {
    etat().titres.emplace_back(titre != nullptr ? titre : "");
    __real_SDL_WM_SetCaption(titre, icone);
}

int __wrap_SDL_Flip(SDL_Surface* ecran) {
    Etat& e = etat();
    if (e.observateur) {
        e.observateur(ecran);
    }
    ++e.flips;
    const int resultat = __real_SDL_Flip(ecran);
    e.horloge += e.dureeImage;
    return resultat;
}

int __wrap_SDL_UpperBlit(SDL_Surface* source, SDL_Rect* zone, SDL_Surface* cible,
                         SDL_Rect* position) {
    Etat& e = etat();
    if (cible == SDL_GetVideoSurface() && source != nullptr) {
        const auto texte = e.textesDesSurfaces.find(source);
        e.dessins.push_back({texte == e.textesDesSurfaces.end() ? std::string() : texte->second,
                             position != nullptr ? position->x : 0,
                             position != nullptr ? position->y : 0, source->w, source->h, e.flips});
    }
    return __real_SDL_UpperBlit(source, zone, cible, position);
}

static SDL_Surface* noterTexte(const char* texte, SDL_Surface* surface) {
    etat().textes.emplace_back(texte);
    if (surface != nullptr) {
        etat().textesDesSurfaces[surface] = texte;
    }
    return surface;
}

SDL_Surface* __wrap_TTF_RenderText_Shaded(TTF_Font* police, const char* texte, SDL_Color avant,
                                          SDL_Color fond) {
    return noterTexte(texte, __real_TTF_RenderText_Shaded(police, texte, avant, fond));
}

SDL_Surface* __wrap_TTF_RenderText_Blended(TTF_Font* police, const char* texte, SDL_Color avant) {
    return noterTexte(texte, __real_TTF_RenderText_Blended(police, texte, avant));
}

void __wrap_SDL_FreeSurface(SDL_Surface* surface) {
    etat().textesDesSurfaces.erase(surface);
    __real_SDL_FreeSurface(surface);
}

bool __wrap_FSOUND_Init(int frequence, int canaux, unsigned int drapeaux) {
    noter("FSOUND_Init", nullptr, canaux);
    return __real_FSOUND_Init(frequence, canaux, drapeaux);
}

void __wrap_FSOUND_Close() {
    noter("FSOUND_Close", nullptr);
    __real_FSOUND_Close();
}

FMUSIC_MODULE* __wrap_FMUSIC_LoadSong(const char* chemin) {
    FMUSIC_MODULE* musique = __real_FMUSIC_LoadSong(chemin);
    noter("FMUSIC_LoadSong", musique);
    return musique;
}

void __wrap_FMUSIC_PlaySong(FMUSIC_MODULE* musique) {
    noter("FMUSIC_PlaySong", musique);
    __real_FMUSIC_PlaySong(musique);
}

void __wrap_FMUSIC_SetLooping(FMUSIC_MODULE* musique, int boucle) {
    noter("FMUSIC_SetLooping", musique, boucle);
    __real_FMUSIC_SetLooping(musique, boucle);
}

void __wrap_FMUSIC_StopSong(FMUSIC_MODULE* musique) {
    noter("FMUSIC_StopSong", musique);
    __real_FMUSIC_StopSong(musique);
}

void __wrap_FMUSIC_FreeSong(FMUSIC_MODULE* musique) {
    noter("FMUSIC_FreeSong", musique);
    __real_FMUSIC_FreeSong(musique);
}

FSOUND_SAMPLE* __wrap_FSOUND_Sample_Load(int index, const char* chemin, unsigned int mode,
                                         int debut, int longueur) {
    FSOUND_SAMPLE* son = __real_FSOUND_Sample_Load(index, chemin, mode, debut, longueur);
    noter("FSOUND_Sample_Load", son, index);
    return son;
}

void __wrap_FSOUND_PlaySound(int canal, FSOUND_SAMPLE* son) {
    noter("FSOUND_PlaySound", son, canal);
    __real_FSOUND_PlaySound(canal, son);
}

void __wrap_FSOUND_Sample_Free(FSOUND_SAMPLE* son) {
    noter("FSOUND_Sample_Free", son);
    __real_FSOUND_Sample_Free(son);
}

} // extern "C"

namespace scenario {

void reinitialiser(uint32_t debut) {
    etat() = Etat{};
    etat().horloge = debut;
    etat().dernierInstant = debut;
}

void dureeImage(uint32_t millisecondes) {
    etat().dureeImage = millisecondes;
}

uint32_t horloge() {
    return etat().horloge;
}

void evenement(uint32_t instant, const SDL_Event& evenement) {
    etat().file.push_back({instant, evenement});
    if (static_cast<int32_t>(instant - etat().dernierInstant) > 0) {
        etat().dernierInstant = instant;
    }
}

void touche(uint32_t instant, SDLKey symbole) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = symbole;
    evenement(instant, e);
}

static void bouton(uint32_t instant, int numero, Uint8 type) {
    SDL_Event e{};
    e.type = type;
    e.button.type = type;
    e.button.button = static_cast<Uint8>(numero);
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = 400;
    e.button.y = 300;
    evenement(instant, e);
}

void appui(uint32_t instant, int numero) {
    bouton(instant, numero, SDL_MOUSEBUTTONDOWN);
}

void relache(uint32_t instant, int numero) {
    bouton(instant, numero, SDL_MOUSEBUTTONUP);
}

void mouvement(uint32_t instant, int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.type = SDL_MOUSEMOTION;
    e.motion.x = static_cast<Uint16>(x);
    e.motion.y = static_cast<Uint16>(y);
    evenement(instant, e);
}

void fermeture(uint32_t instant) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    evenement(instant, e);
}

size_t evenementsRestants() {
    return etat().file.size();
}

const std::vector<std::string>& textes() {
    return etat().textes;
}

const std::vector<Dessin>& dessins() {
    return etat().dessins;
}

const std::vector<std::string>& titres() {
    return etat().titres;
}

const std::vector<AppelAudio>& appelsAudio() {
    return etat().appels;
}

int nombreAppels(const std::string& operation) {
    int n = 0;
    for (const AppelAudio& appel : etat().appels) {
        n += appel.operation == operation ? 1 : 0;
    }
    return n;
}

int flips() {
    return etat().flips;
}

uint32_t tempsDormi() {
    return etat().dormi;
}

void surFlip(std::function<void(SDL_Surface*)> observateur) {
    etat().observateur = std::move(observateur);
}

Dossier::Dossier() : ancien_(std::filesystem::current_path()) {
    std::string modele = (std::filesystem::temp_directory_path() / "pressathon-XXXXXX").string();
    if (mkdtemp(modele.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    chemin_ = modele;
    std::filesystem::copy(PRESSATHON_DATA_DIR, chemin_, std::filesystem::copy_options::recursive);
    std::filesystem::current_path(chemin_);
}

Dossier::~Dossier() {
    std::error_code ignore;
    std::filesystem::current_path(ancien_, ignore);
    std::filesystem::remove_all(chemin_, ignore);
}

void Dossier::retirer(const std::string& fichier) const {
    std::filesystem::remove_all(chemin_ / fichier);
}

void Dossier::ecrire(const std::string& fichier, const std::string& contenu) const {
    std::ofstream sortie(chemin_ / fichier, std::ios::binary | std::ios::trunc);
    sortie << contenu;
}

std::string Dossier::lire(const std::string& fichier) const {
    std::ifstream entree(chemin_ / fichier, std::ios::binary);
    std::ostringstream contenu;
    contenu << entree.rdbuf();
    return contenu.str();
}

uint32_t pixel(SDL_Surface* surface, int x, int y) {
    SDL_LockSurface(surface);
    const auto* ligne = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
    Uint32 brut = 0;
    std::memcpy(&brut, ligne + x * 4, sizeof brut);
    SDL_UnlockSurface(surface);
    Uint8 r = 0;
    Uint8 g = 0;
    Uint8 b = 0;
    SDL_GetRGB(brut, surface->format, &r, &g, &b);
    return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

} // namespace scenario
