# Installs the game like a desktop game: launcher, data, menu entry, icons, manual page.
#
# The program reads its data and its score file from its working directory, so
# it goes out of the PATH, into libexec; bin/pressathon is a launcher that gives
# each player a working directory of their own and starts the program there.
# The Debian package (debian/) is this same installation with the prefix /usr.

include(GNUInstallDirs)

# Under /usr, where the system's packages go, the command and the data take
# Debian's places for games: /usr/games and /usr/share/games.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(PRESSATHON_DOSSIER_COMMANDE games)
    set(PRESSATHON_DOSSIER_DONNEES "${CMAKE_INSTALL_DATADIR}/games/pressathon")
else()
    set(PRESSATHON_DOSSIER_COMMANDE "${CMAKE_INSTALL_BINDIR}")
    set(PRESSATHON_DOSSIER_DONNEES "${CMAKE_INSTALL_DATADIR}/pressathon")
endif()
set(PRESSATHON_DOSSIER_PROGRAMME "${CMAKE_INSTALL_LIBEXECDIR}/pressathon")

# The launcher finds the program and the data relative to its own directory,
# so the installed tree can be moved or installed under any --prefix. Only
# directories given as absolute paths are written as they are.
function(pressathon_chemin_depuis_bin variable dossier)
    if(IS_ABSOLUTE "${dossier}")
        set(${variable} "${dossier}" PARENT_SCOPE)
        return()
    endif()
    set(bin "${PRESSATHON_DOSSIER_COMMANDE}")
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
        DESTINATION "${PRESSATHON_DOSSIER_COMMANDE}")

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

install(FILES packaging/pressathon.6 DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
install(FILES packaging/pressathon.fr.6 DESTINATION "${CMAKE_INSTALL_MANDIR}/fr/man6"
        RENAME pressathon.6)
