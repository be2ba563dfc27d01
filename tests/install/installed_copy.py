#!/usr/bin/python3
"""The installed copy, end to end.

Builds the Debian package, checks it with lintian, unpacks it into a temporary
root and starts the program from there as an ordinary user with a home of its
own, on a virtual display, in a network namespace of its own. The first run
reads an old list left beside the program and the user adds a computer
through the window; after closing and starting again both computers are still
listed, the list lives in the user's configuration folder, and nothing was
written into the unpacked tree. Root, who may write beside the program, gets
its list in its own configuration folder too.

usage: installed_copy.py BUILD_DIR
"""
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
TITLE = "Mirelka β1"
COMPUTER = "127.0.0.1"  # answers the connection check on loopback (refused = there)
USER = "nobody"

# Where the controls lie in the window's client area (the window's fixed layout).
EDIT15 = (8 + 168 + 44, 112 + 16 + 10)
BUTTON11 = (8 + 256 + 20, 112 + 16 + 12)


def fail(text):
    print("FAIL:", text)
    sys.exit(1)


def run(args, **kwargs):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)
    if result.returncode != 0:
        fail("%s exited with %d:\n%s" % (" ".join(args), result.returncode, result.stdout))
    return result.stdout


def snapshot(root):
    """Every path under root with its size and modification time."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            entries[os.path.relpath(path, root)] = (st.st_size, st.st_mtime_ns)
    return entries


class Display:
    """Xvfb on a free display number, and an X connection to drive the window."""

    def __init__(self, work):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "xvfb.log"), "w"))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            fail("Xvfb did not start")
        self.name = ":" + number
        from Xlib import display
        self.x = display.Display(self.name)

    def close(self):
        self.x.close()
        self.server.terminate()
        self.server.wait(timeout=10)

    def find_window(self, timeout):
        """The mapped top-level window with the program's title, or None."""
        from Xlib import X
        deadline = time.monotonic() + timeout
        net_wm_name = self.x.intern_atom("_NET_WM_NAME")
        utf8 = self.x.intern_atom("UTF8_STRING")
        while time.monotonic() < deadline:
            for child in self.x.screen().root.query_tree().children:
                try:
                    prop = child.get_full_property(net_wm_name, utf8)
                    mapped = child.get_attributes().map_state == X.IsViewable
                except Exception:  # the window went away meanwhile
                    continue
                if prop and mapped and prop.value.decode("utf-8", "replace") == TITLE:
                    return child
            time.sleep(0.1)
        return None

    def click(self, window, point):
        from Xlib import X
        from Xlib.ext import xtest
        origin = self.x.screen().root.translate_coords(window, 0, 0)
        xtest.fake_input(self.x, X.MotionNotify, x=origin.x + point[0], y=origin.y + point[1])
        xtest.fake_input(self.x, X.ButtonPress, 1)
        xtest.fake_input(self.x, X.ButtonRelease, 1)
        self.x.sync()
        time.sleep(0.3)

    def type(self, text):
        from Xlib import X, XK
        from Xlib.ext import xtest
        names = {".": "period"}
        for ch in text:
            code = self.x.keysym_to_keycode(XK.string_to_keysym(names.get(ch, ch)))
            xtest.fake_input(self.x, X.KeyPress, code)
            xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()
        time.sleep(0.3)

    def ask_to_close(self, window):
        """What a window manager sends when the user closes the window."""
        from Xlib import X, protocol
        protocols = self.x.intern_atom("WM_PROTOCOLS")
        delete = self.x.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event)
        self.x.sync()


class Program:
    def __init__(self, program, home, display, work, name, user=USER):
        env = {"HOME": home, "DISPLAY": display.name, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8",
               "QT_QPA_PLATFORM": "xcb"}
        # A sanitizer build keeps its settings (scripts/test.sh --sanitize).
        env.update({k: v for k, v in os.environ.items() if k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")})
        self.log_path = os.path.join(work, name + ".log")
        command = [program]
        if user:
            account = pwd.getpwnam(user)
            command = ["setpriv", "--reuid=%d" % account.pw_uid, "--regid=%d" % account.pw_gid, "--clear-groups",
                       "--", program]
        self.process = subprocess.Popen(command, env=env, cwd=home, stdout=subprocess.DEVNULL,
                                        stderr=open(self.log_path, "w"))

    def log(self):
        with open(self.log_path) as f:
            return f.read()

    def wait_window(self, display):
        window = display.find_window(60)
        if window is None:
            self.process.kill()
            self.process.wait()
            fail("the installed program showed no window; its output:\n" + self.log())
        return window

    def wait_end(self):
        try:
            code = self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            fail("the program did not end after its window was closed:\n" + self.log())
        if code != 0:
            fail("the program ended with %d:\n%s" % (code, self.log()))


def main():
    if len(sys.argv) != 2:
        fail(__doc__)
    build = os.path.abspath(sys.argv[1])
    if os.geteuid() != 0:
        print("SKIP: needs root (a network namespace, another user)")
        return SKIP
    if os.environ.get("MLK_IN_NS") != "1":
        os.environ["MLK_IN_NS"] = "1"
        script = 'ip link set lo up && exec "$0" "$@"'
        os.execvp("unshare", ["unshare", "--net", "--", "sh", "-c", script, sys.argv[0], build])

    work = tempfile.mkdtemp(prefix="mirelka-installed.")
    os.chmod(work, 0o755)
    display = None
    try:
        run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B",
             os.path.join(work, "pkg")])
        debs = [f for f in os.listdir(os.path.join(work, "pkg")) if f.endswith(".deb")]
        if len(debs) != 1:
            fail("expected one package, found %s" % debs)
        deb = os.path.join(work, "pkg", debs[0])
        # Every warning left is overridden with its reason in the package.
        run(["lintian", "--fail-on", "error,warning", deb])

        root = os.path.join(work, "root")
        run(["dpkg-deb", "-x", deb, root])
        os.chmod(root, 0o755)
        # The program's package holds no development files.
        if os.path.exists(os.path.join(root, "usr", "include")):
            fail("the package installs headers: %s" % os.listdir(os.path.join(root, "usr", "include")))
        program = os.path.join(root, "usr", "bin", "mirelka")
        # The SMB helper lies beside the companion library, where the
        # program looks for it.
        libraries = [d for d, _, files in os.walk(os.path.join(root, "usr", "lib")) if "libmirelka.so" in files]
        if len(libraries) != 1 or not os.access(os.path.join(libraries[0], "mirelka-smb"), os.X_OK):
            fail("no SMB helper beside the companion library in %s" % libraries)
        run(["desktop-file-validate", os.path.join(root, "usr/share/applications/mirelka.desktop")])
        completion = os.path.join(root, "usr/share/bash-completion/completions/mirelka")
        run(["bash", "-c", 'source "$0" && complete -p mirelka', completion])
        # The subcommands need no display and find the library as the window does.
        version = subprocess.run([program, "--version"], capture_output=True, env={"PATH": "/usr/bin:/bin"})
        if version.returncode != 0 or not version.stdout.startswith(b"mirelka "):
            fail("'mirelka --version' said %r (%d)" % (version.stdout + version.stderr, version.returncode))
        resolved = subprocess.run([program, "--json", "resolve", "127.0.0.1"], capture_output=True,
                                  env={"PATH": "/usr/bin:/bin"})
        if resolved.returncode != 0 or b'"address": "127.0.0.1"' not in resolved.stdout:
            fail("'mirelka --json resolve 127.0.0.1' said %r (%d)" % (resolved.stdout + resolved.stderr,
                                                                     resolved.returncode))
        metainfo = os.path.join(root, "usr/share/metainfo")
        run(["appstreamcli", "validate", "--no-net"] + [os.path.join(metainfo, f) for f in os.listdir(metainfo)])
        # A list left beside the program by an earlier copy, which the user can
        # read but not replace.
        with open(program + ".ini", "wb") as f:
            f.write(b"[WGPCLIST]\r\n1\r\nOLDPC\r\n")
        before = snapshot(root)

        home = os.path.join(work, "home")
        os.mkdir(home)
        account = pwd.getpwnam(USER)
        os.chown(home, account.pw_uid, account.pw_gid)
        display = Display(work)

        first = Program(program, home, display, work, "first")
        window = first.wait_window(display)
        display.click(window, EDIT15)
        display.type(COMPUTER)
        display.click(window, BUTTON11)
        time.sleep(1.0)  # the connection check on loopback is answered at once
        display.ask_to_close(window)
        first.wait_end()

        list_file = os.path.join(home, ".config", "mirelka", "mirelka.ini")
        expected = b"[WGPCLIST]\r\n2\r\nOLDPC\r\n" + COMPUTER.encode() + b"\r\n"
        if not os.path.exists(list_file):
            fail("no list file at %s; the first run said:\n%s" % (list_file, first.log()))
        with open(list_file, "rb") as f:
            saved = f.read()
        if saved != expected:
            fail("the first run saved %r, expected %r" % (saved, expected))
        folder_mode = os.stat(os.path.dirname(list_file)).st_mode & 0o777
        if folder_mode != 0o700:
            fail("the list's folder has mode %o, expected 700" % folder_mode)

        # The second run replaces the file with the rows its window holds:
        # the computer is still in it only if the window listed it again.
        first_file = os.stat(list_file).st_ino
        second = Program(program, home, display, work, "second")
        window = second.wait_window(display)
        display.ask_to_close(window)
        second.wait_end()
        if os.stat(list_file).st_ino == first_file:
            fail("the second run did not save the list:\n" + second.log())
        with open(list_file, "rb") as f:
            saved = f.read()
        if saved != expected:
            fail("after the second run the list holds %r, expected %r" % (saved, expected))

        # Root may write into the unpacked tree, and still the list goes to
        # its own configuration folder, with the old list's computer in it.
        root_home = os.path.join(work, "root-home")
        os.mkdir(root_home, 0o700)
        as_root = Program(program, root_home, display, work, "root", user=None)
        window = as_root.wait_window(display)
        display.ask_to_close(window)
        as_root.wait_end()
        root_list = os.path.join(root_home, ".config", "mirelka", "mirelka.ini")
        if not os.path.exists(root_list):
            fail("run as root, the program saved no list at %s:\n%s" % (root_list, as_root.log()))
        with open(root_list, "rb") as f:
            saved = f.read()
        if saved != b"[WGPCLIST]\r\n1\r\nOLDPC\r\n":
            fail("run as root, the program saved %r" % saved)

        after = snapshot(root)
        if after != before:
            changed = sorted(set(after.items()) ^ set(before.items()))
            fail("the program wrote into the installed tree: %s" % changed)
        print("installed copy: package clean, list kept in ~/.config/mirelka across a restart and for root, "
              "nothing written beside the program")
        return 0
    finally:
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
