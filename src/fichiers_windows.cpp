// Data files on Windows: a regular file opened with the system's own calls, never blocking.
//
// The C library's open() follows none of the checks the game needs: it opens
// devices (NUL, CON, COM1) and pipes like files, and what it opens is
// inherited by child processes unless told.
#include "fichiers.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

std::vector<std::string> cheminsSoundFont() {
    // Beside the program, whatever the working directory; FluidSynth takes
    // its paths in UTF-8.
    wchar_t programme[MAX_PATH];
    const DWORD longueur = GetModuleFileNameW(nullptr, programme, MAX_PATH);
    if (longueur == 0 || longueur >= MAX_PATH) {
        return {};
    }
    std::wstring dossier(programme, longueur);
    dossier = dossier.substr(0, dossier.find_last_of(L"\\/") + 1) + L"TimGM6mb.sf2";
    const int taille =
        WideCharToMultiByte(CP_UTF8, 0, dossier.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string chemin(static_cast<size_t>(taille > 0 ? taille : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, dossier.c_str(), -1, chemin.data(), taille, nullptr, nullptr);
    chemin.resize(chemin.size() - 1);
    return {chemin};
}

int ouvrirFichierRegulier(const char* chemin, int64_t* taille, bool ecriture) {
    *taille = 0;
    if (chemin == nullptr) {
        return -1;
    }
    // Shared for reading, writing and deleting, as a POSIX file is: the
    // score file's lock, not the opening, keeps two games' rewrites apart.
    // A directory does not open this way at all.
    HANDLE fichier = CreateFileA(chemin, GENERIC_READ | (ecriture ? GENERIC_WRITE : 0),
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (fichier == INVALID_HANDLE_VALUE) {
        return -1;
    }
    // A device, a pipe or a console is not a file on a disk.
    BY_HANDLE_FILE_INFORMATION informations;
    LARGE_INTEGER octets;
    if (GetFileType(fichier) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(fichier, &informations) == 0 ||
        (informations.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        GetFileSizeEx(fichier, &octets) == 0) {
        CloseHandle(fichier);
        return -1;
    }
    const int descripteur = _open_osfhandle(reinterpret_cast<intptr_t>(fichier),
                                            (ecriture ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (descripteur < 0) {
        CloseHandle(fichier);
        return -1;
    }
    *taille = octets.QuadPart;
    return descripteur;
}

long lireA(int fichier, void* octets, size_t taille, int64_t position) {
    OVERLAPPED ou{};
    ou.Offset = static_cast<DWORD>(position);
    ou.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD lus = 0;
    const auto voulu = static_cast<DWORD>(taille < 0x40000000 ? taille : 0x40000000);
    if (ReadFile(reinterpret_cast<HANDLE>(_get_osfhandle(fichier)), octets, voulu, &lus, &ou) ==
        0) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<long>(lus);
}

bool fermerFichier(int fichier) {
    return _close(fichier) == 0;
}

std::FILE* fluxDeFichier(int fichier) {
    return _fdopen(fichier, "rb");
}
