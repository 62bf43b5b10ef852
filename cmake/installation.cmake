# Installs the game like a desktop game (launcher, data, menu entry, icons); packages it as a .deb.
#
# The program reads its data and its score file from its working directory, so
# it goes out of the PATH, into libexec; bin/pressathon is a launcher that gives
# each player a working directory of their own and starts the program there.

include(GNUInstallDirs)

set(PRESSATHON_DOSSIER_PROGRAMME "${CMAKE_INSTALL_LIBEXECDIR}/pressathon")
set(PRESSATHON_DOSSIER_DONNEES "${CMAKE_INSTALL_DATADIR}/pressathon")

# The launcher finds the program and the data relative to its own directory,
# so the installed tree can be moved or installed under any --prefix. Only
# directories given as absolute paths are written as they are.
function(pressathon_chemin_depuis_bin variable dossier)
    if(IS_ABSOLUTE "${dossier}")
        set(${variable} "${dossier}" PARENT_SCOPE)
        return()
    endif()
    set(bin "${CMAKE_INSTALL_BINDIR}")
    if(NOT IS_ABSOLUTE "${bin}")
        set(bin "/prefixe/${bin}")
    endif()
    file(RELATIVE_PATH chemin "${bin}" "/prefixe/${dossier}")
    set(${variable} "${chemin}" PARENT_SCOPE)
endfunction()
pressathon_chemin_depuis_bin(PRESSATHON_BIN_VERS_PROGRAMME
                             "${PRESSATHON_DOSSIER_PROGRAMME}/pressathon")
pressathon_chemin_depuis_bin(PRESSATHON_BIN_VERS_DONNEES "${PRESSATHON_DOSSIER_DONNEES}")

configure_file(packaging/pressathon.sh.in lanceur/pressathon @ONLY)

install(TARGETS pressathon RUNTIME DESTINATION "${PRESSATHON_DOSSIER_PROGRAMME}")
install(PROGRAMS "${PROJECT_BINARY_DIR}/lanceur/pressathon"
        DESTINATION "${CMAKE_INSTALL_BINDIR}")

# Read-only data: the launcher links to it or copies it (the score file).
install(DIRECTORY data/IMG data/MUSIC data/SFX DESTINATION "${PRESSATHON_DOSSIER_DONNEES}")
install(FILES data/journal.ttf data/highscores.tallyvault
        DESTINATION "${PRESSATHON_DOSSIER_DONNEES}")
install(FILES LICENSE data/LICENCES.md data/journal.LICENSE.txt
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

install(FILES packaging/pressathon.desktop
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES packaging/fr.pressathon.pressathon.metainfo.xml
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES data/IMG/icone.png
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps"
        RENAME pressathon.png)
foreach(taille 48 64 128 256)
    install(FILES data/icones/icone-${taille}.png
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${taille}x${taille}/apps"
            RENAME pressathon.png)
endforeach()

# The .deb: `cpack -G DEB` in the build directory, or the target `package`.
set(PRESSATHON_MAINTENEUR "Pressathon <pressathon@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pressathon)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Pressathon")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "click as often as you can in ten seconds")
set(CPACK_PACKAGE_DESCRIPTION
    "Pressathon is a small single-player click game with a French interface.\n"
    "You have ten seconds to click as often as you can, with a click sound, a\n"
    "live counter and a countdown. The five best counts are kept for each\n"
    "player. Every screen has its own picture and its own music.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PRESSATHON_MAINTENEUR}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps, which reads Debian's own records of
# which package provides each one: libSDL-1.2 is satisfied by the classic
# libsdl1.2debian or by Debian 12's sdl12-compat (libsdl1.2-compat-shim). The
# SoundFont is not a library, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont")
include(CPack)
