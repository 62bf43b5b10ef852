// The display check on Linux and other systems with X: whether a window could be shown at all.
#include "ecran.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool connecter(const sockaddr_un& adresse, socklen_t longueur) {
    const int prise = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (prise < 0) {
        return false;
    }
    const bool joint = connect(prise, reinterpret_cast<const sockaddr*>(&adresse), longueur) == 0;
    close(prise);
    return joint;
}

// Whether something listens on a local X display's socket, as an X client
// would look for it: the abstract name first, then the file.
bool serveurXLocalJoignable(const std::string& numero) {
    const std::string chemin = "/tmp/.X11-unix/X" + numero;
    sockaddr_un adresse{};
    adresse.sun_family = AF_UNIX;
    if (chemin.size() + 1 >= sizeof adresse.sun_path) {
        return false;
    }
    std::memcpy(adresse.sun_path + 1, chemin.data(), chemin.size());
    if (connecter(adresse,
                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + chemin.size()))) {
        return true;
    }
    std::memset(adresse.sun_path, 0, sizeof adresse.sun_path);
    std::memcpy(adresse.sun_path, chemin.data(), chemin.size());
    return connecter(adresse, sizeof adresse);
}

// DISPLAY is [host]:number[.screen]. Only a local display is checked here; a
// remote one is left to SDL, whose choice of driver is checked afterwards.
bool affichageXJoignable(const char* affichage) {
    const std::string nom = affichage;
    const size_t deuxPoints = nom.rfind(':');
    if (deuxPoints == std::string::npos) {
        return false;
    }
    const std::string hote = nom.substr(0, deuxPoints);
    std::string numero = nom.substr(deuxPoints + 1);
    numero = numero.substr(0, numero.find('.'));
    if (numero.empty() || numero.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    if (!hote.empty() && hote != "unix") {
        return true;
    }
    return serveurXLocalJoignable(numero);
}

bool defini(const char* variable) {
    const char* valeur = std::getenv(variable);
    return valeur != nullptr && valeur[0] != '\0';
}

} // namespace

void verifierAffichage() {
    if (defini("SDL_VIDEODRIVER") || defini("WAYLAND_DISPLAY")) {
        return;
    }
    if (!defini("DISPLAY") || !affichageXJoignable(std::getenv("DISPLAY"))) {
        arreterSansAffichage("aucun serveur graphique joignable, le jeu ne peut pas s'afficher");
    }
}
