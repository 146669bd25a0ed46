"""The installer chores: desktop entries for the shipped templates, and removing them, in a
temporary home and program folder (a copy of the engine beside a Desktop/ folder)."""
import os
import shutil
import subprocess
import unittest

from skivet import NUV, UserTest, wait_for


def link_or_copy(source, target):
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)


def entry_values(path):
    """The keys of a desktop entry's one group, values as written."""
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines()[1:]:
            key, _, value = line.partition("=")
            values[key] = value
    return values


class Shortcuts(UserTest):
    def setUp(self):
        super().setUp()
        self.home = os.path.join(self.dir, "home")
        self.desktop = os.path.join(self.home, "Desktop")
        os.makedirs(self.desktop)
        self.program = os.path.join(self.dir, "program")
        self.templates = os.path.join(self.program, "Desktop")
        os.makedirs(self.templates)
        self.engine = os.path.join(self.program, "nuv")
        link_or_copy(NUV, self.engine)
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"))
        self.user = os.path.join(self.env["XDG_DATA_HOME"], "NUV")
        self.record = os.path.join(self.user, "uninsNUV.dat")

    def template(self, name, text='"doc.skv"', title=None, icon=False):
        path = self.write(os.path.join("program", "Desktop", name), text)
        base = os.path.splitext(path)[0]
        if title is not None:
            self.write(base + ".txt", title)
        if icon:
            self.write_bytes(base + ".ico", b"\0\0\1\0")
        return path

    def chore(self, option):
        """Runs an installer chore; returns the lines it printed."""
        # Run from the desktop folder, where a relative record line would name an entry.
        done = subprocess.run([self.engine, option], env=self.env, capture_output=True, text=True,
                              timeout=20, cwd=self.desktop if os.path.isdir(self.desktop) else None)
        # No message box, and the program ends without a window.
        self.assertEqual(done.returncode, 0)
        self.assertNotIn(":", "".join(line for line in done.stderr.splitlines()
                                      if not line.startswith("QStandardPaths")))
        # Uninstalling says nothing; installing says where each entry went, or why none did.
        lines = done.stdout.splitlines()
        if option == "-preuninstall":
            self.assertEqual(lines, [])
        for line in lines:
            self.assertRegex(line, "^(Desktop entry written: /|No desktop entries written: )")
        return lines

    def records(self):
        if not os.path.exists(self.record):
            return None
        with open(self.record, "rb") as f:
            data = f.read()
        self.assertTrue(data.endswith(b"\r\n"))
        return data.decode().split("\r\n")[:-1]

    def shortcut(self, name):
        return os.path.join(self.desktop, name)

    def test_templates_become_valid_executable_entries_in_order(self):
        self.template("b.nuv")
        self.template("a.jov", title="My App\r\nsecond line\r\n", icon=True)
        self.template("c.nuv", title="\r\nnot this\r\n")
        said = self.chore("-postinstall")
        self.assertEqual(sorted(os.listdir(self.desktop)),
                         ["My App.desktop", "b.desktop", "c.desktop"])
        # .jov before .nuv, whatever the names.
        self.assertEqual(self.records(), [self.shortcut("My App.desktop"),
                                          self.shortcut("b.desktop"), self.shortcut("c.desktop")])
        self.assertEqual(said, ["Desktop entry written: " + line for line in self.records()])
        for name in os.listdir(self.desktop):
            path = self.shortcut(name)
            check = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True)
            self.assertEqual((check.returncode, check.stdout), (0, ""), name)
            self.assertTrue(os.access(path, os.X_OK), name)
        app = entry_values(self.shortcut("My App.desktop"))
        self.assertEqual(app, {
            "Type": "Application", "Name": "My App", "Comment": "JOV Shortcut",
            "Exec": f'"{self.engine}" "{os.path.join(self.templates, "a.jov")}"',
            "Path": self.program + "/", "Icon": os.path.join(self.templates, "a.ico")})
        # Without an icon of its own, an entry shows the engine's.
        self.assertEqual(entry_values(self.shortcut("b.desktop"))["Icon"], "nuv")

    def test_installed_twice_then_uninstalled(self):
        self.template("a.jov")
        self.chore("-postinstall")
        self.chore("-postinstall")
        self.assertEqual(self.records(), [self.shortcut("a.desktop")] * 2)
        other = self.write("home/Desktop/other.DESKTOP", "[Desktop Entry]\n")
        kept = self.write("home/keep.txt", "kept")
        with open(self.record, "a", newline="") as f:
            f.write(f"{other}\r\n{kept}\r\n")
        self.chore("-preuninstall")
        # Each shortcut once, the second line finds it gone; an entry the engine did not write
        # stays, and so does what is no entry at all.
        self.assertEqual(os.listdir(self.desktop), ["other.DESKTOP"])
        self.assertTrue(os.path.exists(kept))
        self.assertIsNone(self.records())

    def own_entry(self, path, engine=None):
        """An entry as this engine writes it, at any path."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=X\nComment=JOV Shortcut\n"
                    f'Exec="{engine or self.engine}" "/x.jov"\nPath=/\n')
        return path

    def test_uninstall_deletes_only_its_own_entries_on_the_desktop(self):
        mine = self.write("home/Desktop/Mine.desktop", "[Desktop Entry]\nName=Mine\n")
        self.template("a.jov", title="Mine")
        self.template("b.nuv")
        self.chore("-postinstall")
        # The person's own launcher of that name stays as it was; the template takes a free name.
        with open(mine) as f:
            self.assertEqual(f.read(), "[Desktop Entry]\nName=Mine\n")
        ours = [self.shortcut("Mine (2).desktop"), self.shortcut("b.desktop")]
        self.assertEqual(self.records(), ours)
        # Installed again, the same entries are replaced, not numbered on.
        self.chore("-postinstall")
        self.assertEqual(self.records(), ours * 2)
        self.assertEqual(len(os.listdir(self.desktop)), 3)

        # Entries of this engine everywhere the record may point, however it spells them.
        elsewhere = [
            self.own_entry(os.path.join(self.home, ".local/share/applications/firefox.desktop")),
            self.own_entry(os.path.join(self.home, ".config/autostart/agent.desktop")),
            self.own_entry(os.path.join(self.home, "elsewhere/x.desktop")),
            self.own_entry(os.path.join(self.desktop, "sub", "deeper.desktop")),
            self.own_entry(os.path.join(self.desktop, "relative.desktop")),
            self.own_entry(os.path.join(self.desktop, "other engine.desktop"), "/usr/bin/nuv"),
        ]
        link = self.shortcut("link.desktop")
        os.symlink(elsewhere[0], link)
        lines = [elsewhere[0], elsewhere[1], os.path.join(self.desktop, "../elsewhere/x.desktop"),
                 elsewhere[3], "relative.desktop", "./relative.desktop", elsewhere[5], link, mine]
        with open(self.record, "a", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
        self.chore("-preuninstall")
        for path in ours:
            self.assertFalse(os.path.exists(path), path)
        for path in elsewhere + [mine]:
            self.assertTrue(os.path.exists(path), path)
        self.assertTrue(os.path.islink(link))
        self.assertIsNone(self.records())

    def test_fifos_never_hold_the_chores(self):
        self.template("a.jov")
        os.mkfifo(os.path.join(self.templates, "a.txt"))
        self.chore("-postinstall")
        # No title to be had: the template's name stands in.
        self.assertEqual(os.listdir(self.desktop), ["a.desktop"])
        os.remove(self.record)
        os.mkfifo(self.record)
        self.chore("-postinstall")
        self.chore("-preuninstall")
        # Nothing recorded, so nothing deleted; the FIFO is no record of the engine's to delete.
        self.assertEqual(os.listdir(self.desktop), ["a.desktop"])
        self.assertTrue(os.path.exists(self.record))

    def test_the_desktop_folder_is_the_desktop_s_own_and_made_when_missing(self):
        """Found as the desktop finds it (xdg-user-dir, else user-dirs.dirs, else ~/Desktop),
        made when it does not exist yet, and named in what the chore prints."""
        self.template("a.jov")
        shutil.rmtree(self.desktop)
        tools = os.path.join(self.dir, "tools")
        os.makedirs(tools)
        # A stand-in for xdg-user-dir that names a folder no configuration file names.
        asked = os.path.join(self.home, "Asked")
        self.write("tools/xdg-user-dir", f'#!/bin/sh\n[ "$1" = DESKTOP ] && echo "{asked}"\n',
                   crlf=False)
        os.chmod(os.path.join(tools, "xdg-user-dir"), 0o755)
        no_tool = os.path.join(self.dir, "empty")
        os.makedirs(no_tool)
        real_path = self.env["PATH"]
        configured = os.path.join(self.home, "Schreibtisch", "neu")
        line = 'XDG_DESKTOP_DIR="$HOME/Schreibtisch/neu"'
        cases = [
            # (what is there, PATH, user-dirs.dirs line or None, the folder entries go to)
            ("nothing", no_tool, None, self.desktop),
            ("user-dirs.dirs", no_tool, line, configured),
            ("xdg-user-dir", real_path, line, configured),
            ("xdg-user-dir first", tools + os.pathsep + real_path, line, asked),
        ]
        dirs = os.path.join(self.home, ".config", "user-dirs.dirs")
        for case, path, line, expected in cases:
            with self.subTest(case):
                if line is not None:
                    self.write(dirs, f"# written by xdg-user-dirs-update\n{line}\n", crlf=False)
                self.env["PATH"] = path
                said = self.chore("-postinstall")
                entry = os.path.join(expected, "a.desktop")
                self.assertEqual(said, [f"Desktop entry written: {entry}"])
                self.assertEqual(os.listdir(expected), ["a.desktop"])
                self.assertEqual(self.records(), [entry])
                shutil.rmtree(os.path.join(self.home, os.path.relpath(expected, self.home)
                                           .split(os.sep)[0]))
                os.remove(self.record)
                if os.path.exists(dirs):
                    os.remove(dirs)

    def test_a_desktop_that_cannot_be_made_gives_no_shortcut_and_no_record(self):
        self.template("a.jov")
        shutil.rmtree(self.desktop)
        self.write("home/Desktop", "a file where the folder would go")
        said = self.chore("-postinstall")
        self.assertEqual(said, ["No desktop entries written: the folder could not be made "
                                f"({self.desktop}/)"])
        self.assertIsNone(self.records())

    def test_no_templates_leave_the_desktop_as_it_was(self):
        shutil.rmtree(self.desktop)
        said = self.chore("-postinstall")
        self.assertEqual(said, [f"No desktop entries written: no templates in {self.templates}/"])
        self.assertFalse(os.path.exists(self.desktop))
        self.assertIsNone(self.records())

    def test_titles_never_leave_the_desktop_folder(self):
        titles = ["../../escaped", "/etc/evil", "..", ".hidden", "a/b/../../c", "   "]
        for n, title in enumerate(titles):
            self.template(f"t{n}.nuv", title=title)
        self.chore("-postinstall")
        names = os.listdir(self.desktop)
        self.assertEqual(len(names), len(titles))
        for name in names:
            self.assertFalse(name.startswith("."), name)
            self.assertTrue(name.endswith(".desktop"), name)
        made = [os.path.join(root, name) for root, _, files in os.walk(self.dir)
                for name in files if name.endswith(".desktop")]
        self.assertEqual(sorted(made), sorted(self.shortcut(name) for name in names))
        self.assertEqual(sorted(self.records()), sorted(made))

    def test_exec_line_gives_the_template_path_exactly(self):
        """A desktop launches each entry; the engine it starts gets the template's own path."""
        self.write("program/Desktop/doc.skv", 'TITLE "Launched"\n')
        names = ['blank and "quotes".nuv', "dollar $HOME `tick`.nuv", "100% sure.nuv",
                 "back\\slash.nuv"]
        for name in names:
            self.template(name)
        self.chore("-postinstall")
        # Inside quotes a "$" is escaped too, so no launcher may read it as a variable.
        self.assertIn(r'dollar \\$HOME \\`tick\\`.nuv"',
                      entry_values(self.shortcut("dollar $HOME `tick`.desktop"))["Exec"])
        for name in names:
            with self.subTest(name=name):
                expected = os.path.join(self.templates, name)
                entry = self.shortcut(os.path.splitext(name)[0] + ".desktop")
                launched = subprocess.Popen(["gio", "launch", entry], env=self.env,
                                            stderr=subprocess.PIPE, text=True)
                if "\\" in name:
                    # Locations take "\" for a folder separator, so this engine cannot read
                    # the file; it names the path it was given.
                    _, err = launched.communicate(timeout=20)
                    self.assertIn(f"Could not read the location file\n\n{expected}", err)
                    continue
                window = wait_for(lambda: subprocess.run(
                    ["xdotool", "search", "--onlyvisible", "--name", "^Launched$"], env=self.env,
                    capture_output=True, text=True).stdout.split(), bool)
                self.assertTrue(window)
                pid = int(subprocess.run(["xdotool", "getwindowpid", window[0]], env=self.env,
                                         capture_output=True, text=True).stdout)
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    argv = f.read().split(b"\0")[:-1]
                os.kill(pid, 15)
                launched.communicate(timeout=20)
                self.assertEqual([a.decode() for a in argv], [self.engine, expected])

    def test_uninstall_empties_the_per_user_folders_by_the_rules(self):
        def files(*names):
            for name in names:
                self.write(os.path.join(self.user, name), "x")
        files("cache/a", "cache/.hidden", "cache/sub/b", "Updates/u1", "Updates/u2", "top.txt")
        self.chore("-preuninstall")
        left = sorted(os.path.relpath(os.path.join(root, name), self.user)
                      for root, _, names in os.walk(self.user) for name in names)
        # Plain visible files go; a subfolder and a hidden file stay, and so do their folders.
        self.assertEqual(left, ["cache/.hidden", "cache/sub/b"])
        self.assertFalse(os.path.exists(os.path.join(self.user, "Updates")))

        os.remove(os.path.join(self.user, "cache", ".hidden"))
        shutil.rmtree(os.path.join(self.user, "cache", "sub"))
        self.chore("-preuninstall")
        self.assertFalse(os.path.exists(self.user))

    def test_uninstall_removes_the_web_profiles_and_nothing_beside_them(self):
        """What browsers leave: a profile per origin under the per-user folder, and the folders
        Qt WebEngine fills by itself under the data and cache folders."""
        data, cache = self.env["XDG_DATA_HOME"], os.path.join(self.dir, "cache")
        self.env["XDG_CACHE_HOME"] = cache
        made = ["NUV/browsers/file___tmp_doc-0123456789ab/Cookies",
                "NUV/browsers/file___tmp_doc-0123456789ab/Local Storage/leveldb/000003.log",
                "NUV/browsers/http___127.0.0.1_8000-ba9876543210/cache/Cache_Data/index",
                "NUV/QtWebEngine/Default/user_prefs.json"]
        for name in made:
            self.write(os.path.join(data, name), "x")
        self.write(os.path.join(cache, "NUV/QtWebEngine/Default/Cache/Cache_Data/index"), "x")
        kept = [os.path.join(data, "other/QtWebEngine/Default/Cookies"),
                os.path.join(data, "NUV-old/browsers/x/Cookies"),
                os.path.join(data, "keep.txt"),
                os.path.join(cache, "other/QtWebEngine/x"),
                os.path.join(cache, "NUV/thumbnails/y"),
                os.path.join(self.dir, "outside/precious")]
        for path in kept:
            self.write(path, "x")
        # A link inside a profile is removed, never followed.
        os.symlink(os.path.join(self.dir, "outside"),
                   os.path.join(data, "NUV/browsers/file___tmp_doc-0123456789ab/link"))
        self.chore("-preuninstall")
        for path in kept:
            self.assertTrue(os.path.exists(path), path)
        for folder in (os.path.join(data, "NUV"), os.path.join(cache, "NUV/QtWebEngine")):
            self.assertFalse(os.path.exists(folder), folder)

    def test_a_link_in_place_of_the_profiles_is_not_followed(self):
        data = self.env["XDG_DATA_HOME"]
        precious = self.write("elsewhere/profile/Cookies", "x")
        os.makedirs(os.path.join(data, "NUV"))
        os.symlink(os.path.join(self.dir, "elsewhere"), os.path.join(data, "NUV", "browsers"))
        self.chore("-preuninstall")
        self.assertTrue(os.path.exists(precious))

    def test_per_user_folder_in_the_program_folder_is_kept(self):
        # When no per-user folder can be made, the engine keeps its files beside itself.
        blocked = self.write("not-a-folder", "x")
        self.env["XDG_DATA_HOME"] = blocked
        self.template("a.jov")
        self.chore("-postinstall")
        self.assertTrue(os.path.exists(os.path.join(self.program, "uninsNUV.dat")))
        self.write("program/Updates/u", "x")
        self.write("program/cache/c", "x")
        self.chore("-preuninstall")
        self.assertEqual(sorted(os.listdir(self.program)), ["Desktop", "nuv"])
        self.assertEqual(os.listdir(self.desktop), [])

    def test_new_cannot_pass_the_chores_on(self):
        cached = self.write(os.path.join(self.user, "cache", "kept"), "x")
        self.template("a.jov")
        self.chore("-postinstall")
        self.write("second.skv", 'TITLE "Second"\n')
        self.write("second.nuv", '"second.skv"')
        for option in ("-preuninstall", "-postinstall"):
            with self.subTest(option=option):
                self.write("app.skv", f'TITLE "First"\nNEW "second.nuv" {option}\n')
                self.write("app.nuv", '"app.skv"')
                first = self.start("app.nuv")
                first.window("First")
                second = first.window("Second")
                # The new engine runs its document instead of the chore.
                os.kill(first.pid_of(second), 15)
                wait_for(lambda: subprocess.run(
                    ["xdotool", "search", "--name", "^Second$"], env=self.env,
                    capture_output=True).stdout, lambda out: not out)
                first.stop()
                self.assertTrue(os.path.exists(cached))
                self.assertEqual(os.listdir(self.desktop), ["a.desktop"])
                self.assertEqual(len(self.records()), 1)


if __name__ == "__main__":
    unittest.main()
