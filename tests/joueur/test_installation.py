#!/usr/bin/python3
# The installed game: the launcher and each player's own scores, the menu entry, the .deb package.

import glob
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

BUILD = os.environ.get("PRESSATHON_BUILD", "../../build")
SOURCES = os.environ.get("PRESSATHON_SOURCES", "../..")
PREPARES = ["IMG", "MUSIC", "SFX", "highscores.tallyvault", "journal.ttf"]
# A stand-in for the program: it finds its data where it runs, tells where, and ends with 7.
TEMOIN = ('#!/bin/sh\nls -L IMG MUSIC SFX journal.ttf >/dev/null && pwd -P >"${TEMOIN:-/dev/null}"'
          ' && exit 7\n')
# The font is the game's own modified copy, for it alone: not one of the system's fonts.
LINTIAN_ACCEPTE = ["I: pressathon: font-%s [usr/share/games/pressathon/journal.ttf]" % etiquette
                   for etiquette in ("in-non-font-package", "outside-font-dir")]


def executer(*commande, **options):
    return subprocess.run(list(map(str, commande)), capture_output=True, text=True, **options)


class Installation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.racine = tempfile.mkdtemp(prefix="pressathon-installation-")
        cls.addClassCleanup(shutil.rmtree, cls.racine, True)
        cls.prefixe = os.path.join(cls.racine, "prefixe")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefixe], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)

    def dossier(self):
        return self.enterContext(tempfile.TemporaryDirectory(dir=self.racine))

    # A copy of the installation, elsewhere, whose program is the stand-in: its command.
    def copie_temoin(self):
        copie = os.path.join(self.dossier(), "ailleurs")
        shutil.copytree(self.prefixe, copie, symlinks=True)
        Path(copie, "libexec/pressathon/pressathon").write_text(TEMOIN)
        return os.path.join(copie, "bin/pressathon")

    # Started from /, as a menu entry would: the launcher must not depend on where. Each
    # start's exit status and stderr.
    def lancer(self, commande, nombre=1, **variables):
        env = {cle: valeur for cle, valeur in os.environ.items()
               if cle not in ("HOME", "XDG_DATA_HOME", "DISPLAY")}
        lances = [subprocess.Popen([commande], cwd="/", env=env | variables,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                  for _ in range(nombre)]
        return [(lance.wait(30), lance.communicate()[1]) for lance in lances]

    def test_the_launcher_prepares_the_players_directory_and_refuses_one_not_theirs(self):
        commande, temoin, maison = self.copie_temoin(), Path(self.dossier(), "t"), self.dossier()
        dossier = Path(maison, ".local/share/pressathon")
        # A relative XDG_DATA_HOME is not a place: HOME decides. CDPATH must not lead cd astray.
        self.assertEqual(self.lancer(os.path.relpath(commande, "/"), TEMOIN=temoin, CDPATH="/",
                                     HOME=maison, XDG_DATA_HOME="relatif"), [(7, b"")])
        self.assertEqual((temoin.read_text().strip(), dossier.stat().st_mode & 0o777,
                          sorted(os.listdir(dossier))),
                         (os.path.realpath(dossier), 0o700, PREPARES))
        # Later runs keep the player's scores, files and own directories.
        (dossier / PREPARES[3]).write_bytes(b"42 7 0 0 0")
        (dossier / "SFX").unlink()
        (dossier / "SFX").mkdir()
        self.assertEqual(self.lancer(commande, HOME=maison), [(7, b"")])
        self.assertEqual(((dossier / PREPARES[3]).read_bytes(), (dossier / "SFX").is_symlink()),
                         (b"42 7 0 0 0", False))

        # No place for the directory (no HOME, a file in the way), or one not the player's alone:
        # a line and status 1, not the stand-in's 7: the game did not start.
        for mode, proprietaire in ((None, -1), (0, -1), (0o770, -1), (0o707, -1), (0o700, 65534)):
            with self.subTest(mode=mode, proprietaire=proprietaire):
                base = Path(self.dossier())
                if mode is not None:
                    (base / "pressathon").mkdir() if mode else (base / "pressathon").touch()
                    os.chmod(base / "pressathon", mode or 0o600)
                    os.chown(base / "pressathon", proprietaire, -1)
                (code, erreurs), = self.lancer(commande, **({} if mode is None else {
                    "XDG_DATA_HOME": base}))
                self.assertEqual((code, erreurs[:13]), (1, b"pressathon : "), erreurs)

    def test_simultaneous_launches_all_start_and_write_nothing_into_the_installed_tree(self):
        # The installed tree is the player's own (a --prefix ~/.local), and half the players
        # still have links to an older installation.
        commande, ancienne = self.copie_temoin(), os.path.dirname(self.copie_temoin())
        arbres = (os.path.dirname(os.path.dirname(commande)), os.path.dirname(ancienne))
        inventaire = lambda: [sorted(os.walk(arbre)) for arbre in arbres]  # noqa: E731
        avant = inventaire()
        for paire in range(50):
            dossier = os.path.join(self.dossier(), "pressathon")
            if paire % 2:
                os.mkdir(dossier, 0o700)
                os.symlink(os.path.join(arbres[1], "share/pressathon/IMG"), dossier + "/IMG")
            self.assertEqual(self.lancer(commande, 2, XDG_DATA_HOME=os.path.dirname(dossier)),
                             [(7, b"")] * 2, "pair %d" % paire)
            self.assertEqual((os.path.realpath(dossier + "/IMG"), sorted(os.listdir(dossier))),
                             (os.path.realpath(arbres[0] + "/share/pressathon/IMG"), PREPARES))
        self.assertEqual(inventaire(), avant)

    def test_the_menu_entry_and_the_metadata_pass_their_validators(self):
        # What desktops and software centres read (lintian does not look at all of it);
        # the software centres' entry names the menu's and the command, which the menu starts,
        # with its icon and without a terminal.
        applications = Path(self.prefixe, "share/applications")
        metainfo, = Path(self.prefixe, "share/metainfo").glob("*.metainfo.xml")
        lien, binaire = re.search(r'<launchable type="desktop-id">([^<]+)<.*<binary>([^<]+)<',
                                  metainfo.read_text(), re.S).groups()
        self.assertTrue((applications / lien).is_file(), lien)
        self.assertIn("\nExec=%s\nIcon=pressathon\nTerminal=false\n" % binaire,
                      (applications / "pressathon.desktop").read_text())
        self.assertEqual(executer("desktop-file-validate", applications / "pressathon.desktop")
                         .stdout, "")
        self.assertEqual(executer("appstreamcli", "validate", "--no-net", "--pedantic", metainfo)
                         .returncode, 0)

    def test_the_debian_package_builds_passes_lintian_and_runs_from_usr_games(self):
        # Built from the sources as committed, nothing else, inside and beside a copy.
        sources = os.path.join(self.dossier(), "pressathon")
        subprocess.run('mkdir "$COPIE" && git ls-files -z -co --exclude-standard | tar -c --null '
                       '-T - --ignore-failed-read | tar -x -C "$COPIE"', shell=True, check=True,
                       cwd=SOURCES, env=dict(os.environ, COPIE=sources))
        # Every library the build asks pkg-config for comes from a package the source asks
        # for: this machine may have it installed by other means.
        construction = re.search(r"Build-Depends:(.*?)\n\S", Path(sources, "debian/control")
                                 .read_text(), re.S).group(1)
        modules = re.findall(r"IMPORTED_TARGET ([^)]*)", Path(sources, "CMakeLists.txt").read_text())
        for module in " ".join(modules).split():
            paquet = executer("dpkg", "-S", "*/pkgconfig/%s.pc" % module).stdout.split(":")[0]
            self.assertRegex(construction, r"\b%s\b" % re.escape(paquet), module)
        manque = executer("dpkg-checkbuilddeps", cwd=sources)
        if manque.returncode != 0:
            self.skipTest("dpkg-buildpackage cannot run: %s" % manque.stderr.strip())
        construction = executer("dpkg-buildpackage", "-us", "-uc", "-j2", cwd=sources,
                                timeout=240, env=dict(os.environ, DEBFULLNAME="Testeur",
                                                      DEB_BUILD_OPTIONS="nocheck noddebs",
                                                      DEBEMAIL="testeur@pressathon.invalid"))
        self.assertEqual(construction.returncode, 0, construction.stderr[-3000:])
        paquet, = glob.glob(os.path.join(os.path.dirname(sources), "pressathon_*.deb"))
        champs = executer("dpkg-deb", "-f", paquet, "Maintainer", "Depends").stdout
        self.assertIn("Maintainer: Testeur <testeur@pressathon.invalid>\n", champs)
        # What the game loads at run time, the SoundFont above all, which no library names.
        for dependance in ("timgm6mb-soundfont", "libsdl-mixer1.2", "libfluidsynth3",
                           "libsdl-image1.2", "libsdl-ttf2.0-0", "libsdl1.2debian"):
            self.assertRegex(champs, r"Depends: (.*[ ,])?%s\b" % re.escape(dependance))
        # Each licence the copyright file gives a set of files is spelt out in it.
        paragraphes = Path(sources, "debian/copyright").read_text().split("\n\n")
        self.assertLessEqual(
            {re.search(r"^License: (\S+)", p, re.M).group(1) for p in paragraphes
             if p.startswith("Files:")},
            {re.match(r"License: (\S+)", p).group(1) for p in paragraphes
             if p.startswith("License:")})
        # The source package too: its format and the version must agree.
        lintian = executer("lintian", "--pedantic", "--display-info", paquet[:-4] + ".changes")
        self.assertEqual((lintian.returncode, [ligne for ligne in lintian.stdout.splitlines()
                                                if ligne not in LINTIAN_ACCEPTE]), (0, []))
        # Its command, in /usr/games, finds the program and the data.
        arbre = os.path.join(self.dossier(), "arbre")
        subprocess.run(["dpkg-deb", "-x", paquet, arbre], check=True)
        Path(arbre, "usr/libexec/pressathon/pressathon").write_text(TEMOIN)
        self.assertEqual(self.lancer(os.path.join(arbre, "usr/games/pressathon"),
                                     XDG_DATA_HOME=self.dossier()), [(7, b"")])


if __name__ == "__main__":
    unittest.main()
