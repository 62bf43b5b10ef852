// Scripted events and a virtual clock standing in for SDL's (see scenario.h).
#include "scenario.h"

#include <SDL_image.h>

using scenario::journal;
using scenario::vivants;

namespace {

// The text each rendered surface shows, noted where it is drawn.
std::map<const void*, scenario::Dessin> textes;

// Instants compare as signed differences: a script may cross the clock's wrap.
bool avant(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

template <typename T> T* tenir(T* objet, const std::string& quoi) {
    if (objet != nullptr) {
        vivants[objet] = quoi;
    }
    return objet;
}

void lacher(const void* objet) {
    vivants.erase(objet);
    textes.erase(objet);
}

SDL_Surface* texte(TTF_Font* police, const char* t, bool ombre, SDL_Surface* surface) {
    if (surface != nullptr) {
        textes[surface] = {t, 0, 0, 0, 0, ombre, TTF_GetFontStyle(police)};
    }
    return tenir(surface, std::string("text ") + t);
}

// Where a text lands, as asked: the real blit clips the rectangle it is given.
void placer(const SDL_Surface* s, const SDL_Rect* l) {
    if (const auto t = textes.find(s); t != textes.end()) {
        journal.dessins.push_back({t->second.texte, l->x, l->y, l->x + s->w / 2, l->y + s->h / 2,
                                   t->second.ombre, t->second.style});
    }
}

// What a handle was loaded from.
std::string nom(const void* son) {
    return vivants.contains(son) ? vivants[son] : "";
}

void noter(const std::string& operation, const void* son) {
    std::string& sons = journal.sons[nom(son)];
    sons += (sons.empty() ? "" : " ") + operation;
}

// Hands out the next event if it is due. (A program still waiting once the script has run out
// spins until the test's time limit fails it.)
int prochain(SDL_Event* sortie) {
    if (journal.file.empty() || avant(journal.horloge, journal.file.front().first)) {
        return 0;
    }
    // Without a place to put it, SDL only says whether an event waits.
    if (sortie != nullptr) {
        *sortie = journal.file.front().second;
        journal.file.pop_front();
    }
    return 1;
}

// Waiting moves the clock to the next event.
int attendre(SDL_Event* sortie) {
    if (!journal.file.empty() && avant(journal.horloge, journal.file.front().first)) {
        journal.horloge = journal.file.front().first;
    }
    return prochain(sortie);
}

// Nothing to show it on: presenting the surface would only cost time.
int montrer(const SDL_Surface* ecran) {
    char* titre = nullptr;
    SDL_WM_GetCaption(&titre, nullptr);
    journal.images.push_back({journal.horloge, ecran->w, ecran->h, titre, journal.dessins});
    journal.dessins.clear();
    if (journal.surFlip) {
        journal.surFlip();
    }
    journal.horloge += journal.dureeImage;
    return 0;
}

} // namespace

ENVELOPPE(Uint32, SDL_GetTicks, (), journal.horloge)
ENVELOPPE(void, SDL_Delay, (Uint32 duree), void(journal.horloge += duree))
ENVELOPPE(int, SDL_PollEvent, (SDL_Event * e), prochain(e))
ENVELOPPE(int, SDL_WaitEvent, (SDL_Event * e), attendre(e))
ENVELOPPE(int, SDL_Flip, (SDL_Surface * e), montrer(e))
ENVELOPPE(int, SDL_UpperBlit, (SDL_Surface * s, SDL_Rect* z, SDL_Surface* c, SDL_Rect* l),
          (placer(s, l), __real_SDL_UpperBlit(s, z, c, l)))
ENVELOPPE(SDL_Surface*, TTF_RenderText_Shaded,
          (TTF_Font * p, const char* t, SDL_Color a, SDL_Color f),
          texte(p, t, true, __real_TTF_RenderText_Shaded(p, t, a, f)))
ENVELOPPE(SDL_Surface*, TTF_RenderText_Blended, (TTF_Font * p, const char* t, SDL_Color a),
          texte(p, t, false, __real_TTF_RenderText_Blended(p, t, a)))
ENVELOPPE(SDL_Surface*, IMG_LoadPNG_RW, (SDL_RWops * f), tenir(__real_IMG_LoadPNG_RW(f), "picture"))
ENVELOPPE(TTF_Font*, TTF_OpenFontRW, (SDL_RWops * f, int l, int t),
          tenir(__real_TTF_OpenFontRW(f, l, t), "font"))
ENVELOPPE(void, TTF_CloseFont, (TTF_Font * p), (lacher(p), __real_TTF_CloseFont(p)))
ENVELOPPE(void, SDL_FreeSurface, (SDL_Surface * s), (lacher(s), __real_SDL_FreeSurface(s)))
// The sound operations pass through, noted with the song or sample they are given.
ENVELOPPE(FMUSIC_MODULE*, FMUSIC_LoadSong, (const char* c), tenir(__real_FMUSIC_LoadSong(c), c))
ENVELOPPE(void, FMUSIC_PlaySong, (FMUSIC_MODULE * m),
          (noter("PlaySong", m), __real_FMUSIC_PlaySong(m)))
ENVELOPPE(void, FMUSIC_SetLooping, (FMUSIC_MODULE * m, int b),
          (noter("SetLooping(" + std::to_string(b) + ")", m), __real_FMUSIC_SetLooping(m, b)))
ENVELOPPE(void, FMUSIC_StopSong, (FMUSIC_MODULE * m),
          (noter("StopSong", m), __real_FMUSIC_StopSong(m)))
ENVELOPPE(void, FMUSIC_FreeSong, (FMUSIC_MODULE * m),
          (noter("FreeSong", m), lacher(m), __real_FMUSIC_FreeSong(m)))
ENVELOPPE(FSOUND_SAMPLE*, FSOUND_Sample_Load, (int i, const char* c, unsigned m, int d, int l),
          tenir(__real_FSOUND_Sample_Load(i, c, m, d, l), c))
ENVELOPPE(void, FSOUND_PlaySound, (int c, FSOUND_SAMPLE* s),
          (journal.joues[nom(s)].push_back(journal.horloge), __real_FSOUND_PlaySound(c, s)))
ENVELOPPE(void, FSOUND_Sample_Free, (FSOUND_SAMPLE * s), (lacher(s), __real_FSOUND_Sample_Free(s)))

void scenario::evenement(uint32_t instant, Uint8 type, int detail) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_KEYDOWN) {
        e.key.keysym.sym = static_cast<SDLKey>(detail);
    } else {
        e.button.button = static_cast<Uint8>(detail);
    }
    journal.file.emplace_back(instant, e);
}
