// The score file's lock and rewrite on Windows, with the system's own calls.
//
// Windows' C library has no positional reads or writes, no lock and no way to
// wait for the disk; the file's handle has all four.
#include "fichier_scores.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE poignee(int fichier) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fichier));
}

OVERLAPPED a(int64_t position) {
    OVERLAPPED ou{};
    ou.Offset = static_cast<DWORD>(position);
    ou.OffsetHigh = static_cast<DWORD>(position >> 32);
    return ou;
}

} // namespace

bool verrouillerFichier(int fichier, bool exclusif) {
    // The whole file and anything it may grow to; waits as flock does.
    OVERLAPPED debut = a(0);
    return LockFileEx(poignee(fichier), exclusif ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD,
                      MAXDWORD, &debut) != 0;
}

bool deverrouillerFichier(int fichier) {
    // Closing would release the lock too, but in its own time.
    OVERLAPPED debut = a(0);
    return UnlockFileEx(poignee(fichier), 0, MAXDWORD, MAXDWORD, &debut) != 0;
}

int64_t tailleFichier(int fichier) {
    LARGE_INTEGER octets;
    return GetFileSizeEx(poignee(fichier), &octets) != 0 ? octets.QuadPart : -1;
}

long ecrireA(int fichier, const char* octets, size_t taille, int64_t position) {
    OVERLAPPED ou = a(position);
    DWORD ecrits = 0;
    const auto voulu = static_cast<DWORD>(taille < 0x40000000 ? taille : 0x40000000);
    if (WriteFile(poignee(fichier), octets, voulu, &ecrits, &ou) == 0 || ecrits == 0) {
        return -1;
    }
    return static_cast<long>(ecrits);
}

bool tronquerFichier(int fichier, int64_t taille) {
    LARGE_INTEGER position;
    position.QuadPart = taille;
    return SetFilePointerEx(poignee(fichier), position, nullptr, FILE_BEGIN) != 0 &&
           SetEndOfFile(poignee(fichier)) != 0;
}

bool synchroniserFichier(int fichier) {
    return FlushFileBuffers(poignee(fichier)) != 0;
}
