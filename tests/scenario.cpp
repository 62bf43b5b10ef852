// Scripted events and a virtual clock standing in for SDL's (see scenario.h).
#include "scenario.h"

#include <SDL_image.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace {

// A script that ran out while the program still waits for input would hang
// the test: after this long without events the program is asked to close.
constexpr uint32_t PATIENCE = 60000;

using Etat = scenario::Journal;

Etat& etat() {
    return scenario::journal();
}

// Instants compare as signed differences: a script may cross the clock's wrap.
bool avant(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
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
        }
        return e.epuise;
    }
    if (avant(e.horloge, e.file.front().first)) {
        return false;
    }
    // Without a place to put it, SDL only says whether an event waits.
    if (sortie != nullptr) {
        *sortie = e.file.front().second;
        e.file.pop_front();
    }
    return true;
}

// What the game holds now: kept apart from the journal, which a test starts
// afresh for each case, so that what a case forgets is still there at the end.
void tenir(const void* objet, const std::string& quoi) {
    if (objet != nullptr) {
        scenario::vivants()[objet] = quoi;
    }
}

void lacher(const void* objet) {
    scenario::vivants().erase(objet);
}

SDL_Surface* noterTexte(TTF_Font* police, const char* texte, bool ombre, SDL_Surface* surface) {
    tenir(surface, std::string("text ") + texte);
    etat().textes.emplace_back(texte);
    if (surface != nullptr) {
        etat().textesDesSurfaces[surface] = {texte, ombre, TTF_GetFontStyle(police)};
    }
    return surface;
}

void noterAudio(const char* operation, const void* poignee) {
    etat().appels.push_back({operation, poignee, etat().horloge});
}

} // namespace

extern "C" {

// The sound operations pass through, noted with the handle they take or give.
#define ENVELOPPE(R, NOM, PARAMETRES, ARGUMENTS, POIGNEE)                                          \
    R __real_##NOM PARAMETRES;                                                                     \
    R __wrap_##NOM PARAMETRES {                                                                    \
        [[maybe_unused]] R resultat = __real_##NOM ARGUMENTS;                                      \
        noterAudio(#NOM, POIGNEE);                                                                 \
        return resultat;                                                                           \
    }
#define ENVELOPPE_VIDE(NOM, PARAMETRES, ARGUMENTS, POIGNEE)                                        \
    void __real_##NOM PARAMETRES;                                                                  \
    void __wrap_##NOM PARAMETRES {                                                                 \
        noterAudio(#NOM, POIGNEE);                                                                 \
        __real_##NOM ARGUMENTS;                                                                    \
    }
#define CHARGEMENT(R, NOM, PARAMETRES, ARGUMENTS, CHEMIN)                                          \
    R __real_##NOM PARAMETRES;                                                                     \
    R __wrap_##NOM PARAMETRES {                                                                    \
        R resultat = __real_##NOM ARGUMENTS;                                                       \
        noterAudio(#NOM, resultat);                                                                \
        tenir(resultat, std::string(#NOM " ") + CHEMIN);                                           \
        return resultat;                                                                           \
    }
#define LIBERATION(NOM, PARAMETRES, ARGUMENTS, POIGNEE)                                            \
    void __real_##NOM PARAMETRES;                                                                  \
    void __wrap_##NOM PARAMETRES {                                                                 \
        noterAudio(#NOM, POIGNEE);                                                                 \
        lacher(POIGNEE);                                                                           \
        __real_##NOM ARGUMENTS;                                                                    \
    }
ENVELOPPE_VIDE(FSOUND_Close, (), (), nullptr)
CHARGEMENT(FMUSIC_MODULE*, FMUSIC_LoadSong, (const char* c), (c), c)
ENVELOPPE_VIDE(FMUSIC_PlaySong, (FMUSIC_MODULE * m), (m), m)
// The looping setting is noted with it: FMUSIC_SetLooping(1).
void __real_FMUSIC_SetLooping(FMUSIC_MODULE* m, int b);
void __wrap_FMUSIC_SetLooping(FMUSIC_MODULE* m, int b) {
    noterAudio(("FMUSIC_SetLooping(" + std::to_string(b) + ")").c_str(), m);
    __real_FMUSIC_SetLooping(m, b);
}
ENVELOPPE_VIDE(FMUSIC_StopSong, (FMUSIC_MODULE * m), (m), m)
LIBERATION(FMUSIC_FreeSong, (FMUSIC_MODULE * m), (m), m)
CHARGEMENT(FSOUND_SAMPLE*, FSOUND_Sample_Load, (int i, const char* c, unsigned m, int d, int l),
           (i, c, m, d, l), c)
ENVELOPPE_VIDE(FSOUND_PlaySound, (int c, FSOUND_SAMPLE* s), (c, s), s)
LIBERATION(FSOUND_Sample_Free, (FSOUND_SAMPLE * s), (s), s)

void __real_SDL_FreeSurface(SDL_Surface* surface);
void __real_SDL_WM_SetCaption(const char* titre, const char* icone);
int __real_SDL_UpperBlit(SDL_Surface* source, SDL_Rect* zone, SDL_Surface* cible, SDL_Rect* lieu);
SDL_Surface* __real_TTF_RenderText_Shaded(TTF_Font* police, const char* texte, SDL_Color avant,
                                          SDL_Color fond);
SDL_Surface* __real_TTF_RenderText_Blended(TTF_Font* police, const char* texte, SDL_Color avant);

Uint32 __wrap_SDL_GetTicks() {
    return etat().horloge;
}

void __wrap_SDL_Delay(Uint32 millisecondes) {
    etat().horloge += millisecondes;
}

int __wrap_SDL_PollEvent(SDL_Event* evenement) {
    return prochain(evenement) ? 1 : 0;
}

// Waiting moves the clock to the next event, or past the patience.
int __wrap_SDL_WaitEvent(SDL_Event* evenement) {
    Etat& e = etat();
    if (!e.file.empty() && avant(e.horloge, e.file.front().first)) {
        e.horloge = e.file.front().first;
    } else if (e.file.empty() && !e.epuise) {
        e.horloge = e.dernierInstant + PATIENCE + 1;
    }
    return prochain(evenement) ? 1 : 0;
}

void __wrap_SDL_WM_SetCaption(const char* titre, const char* icone) {
    etat().titre = titre != nullptr ? titre : "";
    __real_SDL_WM_SetCaption(titre, icone);
}

int __wrap_SDL_Flip(SDL_Surface* ecran) {
    Etat& e = etat();
    if (e.surFlip) {
        e.surFlip(ecran);
    }
    e.images.push_back({e.horloge, ecran->w, ecran->h, e.titre});
    // Nothing to show it on: presenting the surface would only cost time.
    e.horloge += e.dureeImage;
    return 0;
}

int __wrap_SDL_UpperBlit(SDL_Surface* source, SDL_Rect* zone, SDL_Surface* cible, SDL_Rect* lieu) {
    Etat& e = etat();
    const auto texte = e.textesDesSurfaces.find(source);
    if (cible == SDL_GetVideoSurface() && texte != e.textesDesSurfaces.end()) {
        e.dessins.push_back(
            {texte->second, lieu->x, lieu->y, source->w, source->h, e.images.size()});
    }
    return __real_SDL_UpperBlit(source, zone, cible, lieu);
}

SDL_Surface* __wrap_TTF_RenderText_Shaded(TTF_Font* police, const char* texte, SDL_Color avant,
                                          SDL_Color fond) {
    return noterTexte(police, texte, true,
                      __real_TTF_RenderText_Shaded(police, texte, avant, fond));
}

SDL_Surface* __wrap_TTF_RenderText_Blended(TTF_Font* police, const char* texte, SDL_Color avant) {
    return noterTexte(police, texte, false, __real_TTF_RenderText_Blended(police, texte, avant));
}

void __wrap_SDL_FreeSurface(SDL_Surface* surface) {
    etat().textesDesSurfaces.erase(surface);
    lacher(surface);
    __real_SDL_FreeSurface(surface);
}

SDL_Surface* __real_IMG_LoadPNG_RW(SDL_RWops* flux);
SDL_Surface* __wrap_IMG_LoadPNG_RW(SDL_RWops* flux) {
    SDL_Surface* image = __real_IMG_LoadPNG_RW(flux);
    tenir(image, "picture");
    return image;
}

TTF_Font* __real_TTF_OpenFontRW(SDL_RWops* flux, int liberer, int taille);
TTF_Font* __wrap_TTF_OpenFontRW(SDL_RWops* flux, int liberer, int taille) {
    TTF_Font* police = __real_TTF_OpenFontRW(flux, liberer, taille);
    tenir(police, "font of " + std::to_string(taille) + " points");
    return police;
}

void __real_TTF_CloseFont(TTF_Font* police);
void __wrap_TTF_CloseFont(TTF_Font* police) {
    lacher(police);
    __real_TTF_CloseFont(police);
}

} // extern "C"

namespace scenario {

Journal& journal() {
    static Journal e;
    return e;
}

std::map<const void*, std::string>& vivants() {
    static std::map<const void*, std::string> objets;
    return objets;
}

std::string fuites() {
    std::string liste;
    for (const auto& [objet, quoi] : vivants()) {
        liste += quoi + "\n";
    }
    vivants().clear();
    return liste;
}

void reinitialiser(uint32_t debut) {
    etat() = Etat{};
    etat().horloge = debut;
    etat().dernierInstant = debut;
}

void evenement(uint32_t instant, Uint8 type, int detail) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_KEYDOWN) {
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = static_cast<SDLKey>(detail);
    } else if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) {
        e.button.button = static_cast<Uint8>(detail);
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    }
    etat().file.emplace_back(instant, e);
    if (avant(etat().dernierInstant, instant)) {
        etat().dernierInstant = instant;
    }
}

int nombreAppels(const std::string& operation) {
    return static_cast<int>(
        std::count_if(etat().appels.begin(), etat().appels.end(),
                      [&](const AppelAudio& a) { return a.operation == operation; }));
}

const void* poignee(const std::string& operation, size_t rang) {
    for (const AppelAudio& appel : etat().appels) {
        if (appel.operation == operation && rang-- == 0) {
            return appel.poignee;
        }
    }
    return nullptr;
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

void Dossier::ecrire(const std::string& fichier, const std::string& contenu) const {
    std::ofstream(chemin_ / fichier, std::ios::binary | std::ios::trunc) << contenu;
}

std::string Dossier::lire(const std::string& fichier) const {
    std::ifstream contenu(chemin_ / fichier, std::ios::binary);
    return {std::istreambuf_iterator<char>(contenu), {}};
}

} // namespace scenario
