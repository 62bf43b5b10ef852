// The song check: whether FluidSynth's player can play a Standard MIDI File, and at what cost.
//
// FluidSynth parses the file again on the sound thread each time the song
// starts or loops, and sends every event due on each 64-frame block it
// renders, under the audio lock. A file it would spin on, or one that makes a
// buffer take longer than its share of real time, freezes the game: both are
// refused here, before the file ever reaches the player.
#include "audio_midi.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

// FluidSynth takes at most 128 tracks, and 2.3 spins for ever on a file of
// exactly 128.
constexpr unsigned pistesMax = 127;
constexpr uint32_t tempoParDefaut = 500000;
// The player's clock counts whole milliseconds: one 512-frame buffer at
// 44100 Hz advances it by at most 12 ms, and each of its eight 64-frame
// blocks may round the player's tick up by one.
constexpr double msParTampon = 12.0;
constexpr uint64_t ticksArrondis = 9;

uint32_t lire32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

unsigned lire16(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) << 8 | p[1];
}

struct Curseur {
    const unsigned char* p;
    const unsigned char* fin;

    bool octet(unsigned& valeur) {
        const bool reste = p != fin;
        valeur = reste ? *p++ : 0;
        return reste;
    }
    // At most four bytes, as FluidSynth reads them.
    bool nombreVariable(uint32_t& valeur) {
        valeur = 0;
        unsigned c = 0x80;
        for (int i = 0; i < 4 && (c & 0x80) != 0; ++i) {
            if (!octet(c)) {
                return false;
            }
            valeur = valeur << 7 | (c & 0x7F);
        }
        return (c & 0x80) == 0;
    }
    bool sauter(uint32_t n) {
        const bool tient = n <= static_cast<size_t>(fin - p);
        p += tient ? n : 0;
        return tient;
    }
};

struct ChangementTempo {
    uint64_t tick;
    uint32_t microsecondes;
};

// Meta events whose length FluidSynth checks, with that length.
bool longueurMetaAdmise(unsigned type, uint32_t longueur) {
    constexpr std::pair<unsigned, uint32_t> longueurs[] = {
        {0x2F, 0}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};
    for (const auto& [cas, attendue] : longueurs) {
        if (cas == type) {
            return longueur == attendue;
        }
    }
    return true;
}

// An event the player sends, as Rafale takes it.
struct Envoi {
    uint32_t tick;
    uint8_t statut, premier, second;
};

// Walks one track chunk, adding to `nombre` what parsing each event costs,
// noting each event sent in `envois` and the tick of the last one kept in
// `fin`. Past `evenementsMaxMusique` (refused anyway) it only counts.
bool verifierPiste(Curseur c, std::vector<ChangementTempo>& tempos, std::vector<Envoi>& envois,
                   size_t& nombre, uint64_t& fin) {
    uint64_t tick = 0;
    unsigned statut = 0;
    fin = 0;
    auto garder = [&](unsigned lecture, bool envoye, unsigned statut, unsigned premier = 0,
                      unsigned second = 0) {
        fin = tick;
        nombre += lecture;
        if (envoye && nombre <= evenementsMaxMusique) {
            envois.push_back({static_cast<uint32_t>(tick), static_cast<uint8_t>(statut),
                              static_cast<uint8_t>(premier), static_cast<uint8_t>(second)});
        }
    };
    while (c.p != c.fin) {
        uint32_t delta = 0;
        unsigned octet = 0;
        if (!c.nombreVariable(delta) || !c.octet(octet)) {
            return false;
        }
        tick += delta;
        if (tick > 0x7FFFFFFF) {
            return false;
        }
        if (octet == 0xFF) {
            statut = 0;
            unsigned type = 0;
            uint32_t longueur = 0;
            if (!c.octet(type) || !c.nombreVariable(longueur) ||
                !longueurMetaAdmise(type, longueur) || !c.sauter(longueur)) {
                return false;
            }
            const unsigned char* donnees = c.p - longueur;
            if (type == 0x51) {
                const uint32_t tempo = static_cast<uint32_t>(donnees[0]) << 16 |
                                       static_cast<uint32_t>(donnees[1]) << 8 | donnees[2];
                if (tempo == 0) {
                    return false;
                }
                tempos.push_back({tick, tempo});
            }
            // Text and lyrics are copied, tempo and end of track kept, other
            // meta events read and dropped.
            nombre += longueur / octetsParEvenement;
            const bool texte = type == 0x01 || type == 0x05;
            if (texte || type == 0x51 || type == 0x2F) {
                garder(texte ? lecturesParCopie : 1, type != 0x2F, 0xFF);
            } else {
                ++nombre;
            }
            if (type == 0x2F) {
                // What follows the end of the track inside its chunk is skipped.
                return true;
            }
        } else if (octet == 0xF0) {
            statut = 0;
            uint32_t longueur = 0;
            if (!c.nombreVariable(longueur) || !c.sauter(longueur)) {
                return false;
            }
            nombre += longueur / octetsParEvenement;
            if (longueur > 0) {
                garder(lecturesParCopie, true, 0xF0);
            } else {
                ++nombre;
            }
        } else if (octet > 0xF0) {
            return false;
        } else {
            // A status byte, or the last one running on.
            unsigned premier = octet;
            const bool nouveauStatut = (octet & 0x80) != 0;
            statut = nouveauStatut ? octet : statut;
            const unsigned type = statut & 0xF0;
            unsigned second = 0;
            if (statut == 0 || (nouveauStatut && !c.octet(premier)) ||
                (type != 0xC0 && type != 0xD0 && !c.octet(second)) ||
                ((premier | second) & 0x80) != 0) {
                return false;
            }
            garder(1, true, statut, premier, second);
        }
    }
    return true;
}

// The costliest buffer of `envois` (sorted by tick): the most that the
// events within any `etendue` consecutive tick values cost.
uint64_t rafale(const std::vector<Envoi>& envois, uint64_t etendue) {
    Rafale r;
    uint64_t plus = 0;
    size_t debut = 0;
    for (const Envoi& envoi : envois) {
        r.ajouter(envoi.statut, envoi.premier, envoi.second);
        while (envoi.tick - envois[debut].tick >= etendue) {
            const Envoi& ancien = envois[debut++];
            r.ajouter(ancien.statut, ancien.premier, ancien.second, -1);
        }
        plus = std::max(plus, r.cout());
    }
    return plus;
}

} // namespace

std::optional<MesureMidi> mesurerMidi(const unsigned char* d, size_t taille) {
    if (taille < 14 || std::memcmp(d, "MThd", 4) != 0 || lire32(d + 4) != 6) {
        return std::nullopt;
    }
    const unsigned format = lire16(d + 8);
    const unsigned pistes = lire16(d + 10);
    const unsigned division = lire16(d + 12);
    // A negative division means SMPTE time, which FluidSynth does not play.
    if (format > 2 || pistes == 0 || pistes > pistesMax || division == 0 ||
        (division & 0x8000) != 0) {
        return std::nullopt;
    }

    // FluidSynth expects the track chunks one after another; trailing bytes
    // are ignored.
    Curseur c{d + 14, d + taille};
    std::vector<ChangementTempo> tempos;
    std::vector<Envoi> envois;
    size_t nombre = 0;
    uint64_t fin = 0;
    for (unsigned piste = 0; piste < pistes; ++piste) {
        const unsigned char* entete = c.p;
        if (!c.sauter(8) || std::memcmp(entete, "MTrk", 4) != 0) {
            return std::nullopt;
        }
        const uint32_t longueur = lire32(entete + 4);
        const Curseur morceau{c.p, c.p + std::min<size_t>(longueur, c.fin - c.p)};
        uint64_t finPiste = 0;
        if (!c.sauter(longueur) || !verifierPiste(morceau, tempos, envois, nombre, finPiste)) {
            return std::nullopt;
        }
        fin = std::max(fin, finPiste);
    }
    if (fin == 0) {
        return std::nullopt;
    }

    // The player applies a tempo change only when its clock has passed it,
    // so the fastest tempo in force bounds how far the clock runs per buffer;
    // the default one holds until the first change.
    uint32_t tempoMin = 0xFFFFFF;
    bool tempoInitial = false;
    uint64_t changements = 0;
    for (const ChangementTempo& changement : tempos) {
        if (changement.tick < fin) {
            tempoMin = std::min(tempoMin, changement.microsecondes);
            tempoInitial = tempoInitial || changement.tick == 0;
            ++changements;
        }
    }
    tempoMin = tempoInitial ? tempoMin : std::min(tempoMin, tempoParDefaut);

    const double msParTickMin = static_cast<double>(tempoMin) / 1000.0 / division;
    const double etendue = std::min(msParTampon / msParTickMin + static_cast<double>(ticksArrondis),
                                    static_cast<double>(std::numeric_limits<uint32_t>::max()));
    uint64_t plus = UINT64_MAX;
    uint64_t boucle = UINT64_MAX;
    if (nombre <= evenementsMaxMusique) {
        std::stable_sort(envois.begin(), envois.end(),
                         [](const Envoi& a, const Envoi& b) { return a.tick < b.tick; });
        const auto fenetre = static_cast<uint64_t>(etendue);
        plus = rafale(envois, fenetre);
        // The buffer where a pass ends holds at most a buffer's span of its
        // end and one of the next pass's start: the player starts that pass,
        // parsing the file again, in the block where the last one ended.
        Rafale r;
        for (const Envoi& envoi : envois) {
            for (const bool dedans : {envoi.tick<fenetre, envoi.tick + fenetre> fin}) {
                if (dedans) {
                    r.ajouter(envoi.statut, envoi.premier, envoi.second);
                }
            }
        }
        boucle = r.cout();
    }
    // The player rounds its clock to the nearest tick, and starts counting
    // afresh from that rounded tick at each tempo change and at the start of
    // each pass: every one of those may cut half a tick from a pass, and
    // counting a whole tick for each keeps the shortest pass a true bound.
    const uint64_t ticksSurs = fin > changements + 1 ? fin - changements - 1 : 0;
    const double passe = static_cast<double>(ticksSurs) * msParTickMin / 1000.0;
    return MesureMidi{static_cast<uint32_t>(fin), nombre, plus, boucle, passe};
}

bool coutMidiAdmis(const MesureMidi& mesure) {
    return mesure.coutMax <= budgetEvenements && mesure.passeMin >= passeMinMusique &&
           mesure.evenements <= evenementsMaxMusique &&
           mesure.coutBoucle <= budgetEvenements - coutLecture * mesure.evenements;
}

void Rafale::ajouter(unsigned statut, unsigned premier, unsigned second, int signe) {
    const unsigned type = statut & 0xF0;
    const size_t canal = statut & 0x0F;
    const bool noteJouee = type == 0x90 && second > 0;
    base_ += signe * static_cast<int64_t>(statut == 0xF0 ? coutSysex
                                          : noteJouee    ? coutNote
                                                         : coutEnvoi);
    notes_[canal] += type < 0xF0 && noteJouee ? signe : 0;
    // Controllers, pitch bends and pressures update the voices of their
    // channel; note-ons and -offs and program changes leave the others be.
    const bool modulation = type == 0xA0 || type == 0xB0 || type == 0xD0 || type == 0xE0;
    if (modulation) {
        parVoix_[canal] += signe * static_cast<int64_t>(
                                       type == 0xB0 && premier == 121 ? coutVoixRemise : coutVoix);
    }
}

uint64_t Rafale::cout() const {
    // The voices the buffer's note-ons start on each channel count there;
    // the rest of the 48, sounding from before, go where they cost most.
    int64_t total = base_;
    std::array<std::pair<int64_t, int64_t>, 16> places{};
    for (size_t c = 0; c < 16; ++c) {
        const int64_t lancees =
            std::min<int64_t>(polyphonie, notes_[c] * static_cast<int64_t>(voixParNote));
        total += parVoix_[c] * lancees;
        places[c] = {parVoix_[c], polyphonie - lancees};
    }
    std::ranges::sort(places, std::greater<>());
    int64_t restantes = polyphonie;
    for (const auto& [parVoix, place] : places) {
        const int64_t prises = std::min(place, restantes);
        total += parVoix * prises;
        restantes -= prises;
    }
    return static_cast<uint64_t>(total);
}
