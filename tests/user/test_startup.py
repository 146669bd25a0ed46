"""Starting the engine as a person does: command lines, location files, local and remote
documents, and the messages of every start-up failure."""
import fcntl
import os
import subprocess
import unittest

from skivet import NUV, PYTHON, SERVERS, UserTest, solid

# A window with a known title that stays open until the test stops it.
STAY = 'TITLE "{title}"\n'


class CommandLine(UserTest):
    def test_failures_show_their_message_and_end(self):
        self.write("empty.nuv", " , more\n")
        self.write("gone.nuv", '"nothing-here.skv"\n')
        cases = [
            ([], 1, "Error: You cannot run this program standalone!"),
            (["-x:5", "-relative"], 0, ""),
            (["missing.nuv"], 1, "Read Error: Could not read the location file"),
            (["empty.nuv"], 1, "General Error: An error occured while reading the Skivet!"),
            (["gone.nuv"], 1, "Read Error: Could not open Skivet!"),
        ]
        for args, code, message in cases:
            with self.subTest(args=args):
                rc, _, err = self.run_to_end(*args)
                self.assertEqual(rc, code)
                if message:
                    self.assertIn(message, err)
                else:
                    self.assertEqual(err.strip(), "")

    def test_unknown_options_are_reported_and_skipped(self):
        self.write("doc.skv", 'TITLE "Known"\nEXIT\n')
        self.write("app.nuv", "doc.skv")
        rc, _, err = self.run_to_end("-zz", "app.nuv", "-xx:10", "-NOMOVE", "-Relative")
        self.assertEqual(rc, 0)
        hint = "It is left out; run nuv --help for the options."
        self.assertEqual(err.splitlines(),
                         ["Jov Error: Unknown parameter: -zz", "", hint,
                          "Jov Error: Unknown parameter: -xx:10", "", hint])

    def test_placement_options(self):
        self.write("doc.skv", STAY.format(title="Placed"))
        location = self.write("My Docs/app -b.nuv", '"../doc.skv", ignored\n')
        width, height = self.display.width, self.display.height
        cases = [
            (["-x:10", "-y:20"], (10, 20)),
            (["-X:10", "-Y:20", "-ox:100", "-oy:50", "-relative"], (110, 70)),
            (["-x:10", "-y:20", "-ox:100", "-oy:50"], (10, 20)),
            (["-x:50-", "-y:0-"], (width - 50, height)),
            (["-x:12.5", "-y:13.5"], (12, 14)),
        ]
        for args, (x, y) in cases:
            with self.subTest(args=args):
                engine = self.start(location, *args)
                window = engine.window("Placed")
                self.assertEqual(engine.wait_position(window, (x, y)), (x, y))
                engine.stop()

    def test_relative_location_file_in_a_folder(self):
        self.write("apps/radio/doc.skv", 'TITLE "Relative"\n')
        self.write("apps/radio/app.nuv", "doc.skv")
        engine = self.start("apps\\radio/app.nuv")
        engine.window("Relative")

    def test_caption_comes_from_the_location_file_name(self):
        # A document that sets no title keeps the location file's name as its caption.
        self.write("skins/body.skv", "# nothing but a comment\n")
        location = self.write("skins/Main.Skin.nuv", "body.skv")
        engine = self.start(location)
        engine.window("Main.Skin")


    def test_running_engine_holds_the_marker(self):
        self.write("doc.skv", STAY.format(title="Marked"))
        self.write("app.nuv", "doc.skv")
        engine = self.start("app.nuv")
        engine.window("Marked")
        with open(os.path.join(self.dir, "NUVMutex")) as marker:
            # Others may share it, but nobody can take it for themselves while an engine runs.
            fcntl.flock(marker, fcntl.LOCK_SH | fcntl.LOCK_NB)
            with self.assertRaises(BlockingIOError):
                fcntl.flock(os.open(marker.name, os.O_RDONLY), fcntl.LOCK_EX | fcntl.LOCK_NB)


class SecureDocuments(UserTest):
    def test_https_address_with_a_private_authority(self):
        site = os.path.join(self.dir, "site")
        os.makedirs(site)
        cert, key = os.path.join(self.dir, "cert.pem"), os.path.join(self.dir, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert], check=True, capture_output=True)
        server = self.serve(site, tls=(cert, key))
        with open(os.path.join(site, "app.nuv"), "w") as f:
            f.write("app.skv")
        with open(os.path.join(site, "app.skv"), "w") as f:
            f.write('TITLE "Secure"\r\n')
        # Without the authority the certificate is refused, and the engine says so.
        rc, _, err = self.run_to_end(server.url + "app.nuv")
        self.assertEqual(rc, 1)
        self.assertIn(f"Connection Error: Could not open {server.url}app.nuv", err)
        self.env["CURL_CA_BUNDLE"] = cert
        engine = self.start(server.url + "app.nuv")
        engine.window("Secure")
        # The refused handshake never reached the server as a request.
        self.assertEqual(server.requests(), ["GET /app.nuv", "GET /app.skv"])


class FtpDocuments(UserTest):
    def test_document_and_picture_over_ftp(self):
        site = os.path.join(self.dir, "ftp")
        os.makedirs(site)
        with open(os.path.join(site, "skin.png"), "wb") as f:
            f.write(solid(30, 20, (10, 200, 10)))
        with open(os.path.join(site, "app.skv"), "w") as f:
            f.write('OBJECT FORM\r\nBITMAP "skin.png"\r\nENDOBJECT\r\nTITLE "Over FTP"\r\n')
        server = self.serve_ftp(site)
        self.write("app.nuv", server.url + "app.skv")
        engine = self.start("app.nuv")
        window = engine.window("Over FTP")
        self.assertEqual(engine.geometry(window)[2:], (30, 20))
        self.assertEqual(server.downloads(), ["RETR /app.skv", "RETR /skin.png"])


class RemoteDocuments(UserTest):
    def setUp(self):
        super().setUp()
        self.site = os.path.join(self.dir, "site")
        os.makedirs(self.site)
        self.server = self.serve(self.site)

    def publish(self, name, text):
        with open(os.path.join(self.site, name), "w", newline="") as f:
            f.write(text.replace("\n", "\r\n"))

    def test_address_on_the_command_line_reads_the_document_with_includes(self):
        self.publish("app.nuv", "app.skv\n")
        self.publish("app.skv", 'TITLE "Remote"\n%include \'parts/inc.skv\' # trailing\n')
        os.makedirs(os.path.join(self.site, "parts"))
        self.publish("parts/inc.skv", 'TITLE "Remote and included"\n%OTHER dropped\n')
        engine = self.start(self.server.url + "app.nuv")
        engine.window("Remote and included")
        self.assertEqual(self.server.requests(),
                         ["GET /app.nuv", "GET /app.skv", "GET /parts/inc.skv"])

    def test_location_file_written_like_a_local_one(self):
        # Its first field, as for a local location file; quotes never reach the server.
        self.publish("app.nuv", '"app.skv", -x:10\n')
        self.publish("app.skv", 'TITLE "Quoted"\n')
        engine = self.start(self.server.url + "app.nuv")
        engine.window("Quoted")
        self.assertEqual(self.server.requests(), ["GET /app.nuv", "GET /app.skv"])

    def test_error_status_of_the_address(self):
        rc, _, err = self.run_to_end(self.server.url + "missing.nuv")
        self.assertEqual(rc, 1)
        self.assertIn(f"Connection Error: Could not open {self.server.url}missing.nuv\n\nCode: 404",
                      err)

    def test_remote_document_is_kept_for_offline_use(self):
        self.publish("app.skv", 'TITLE "Cached"\n')
        location = self.write("app.nuv", self.server.url + "app.skv")
        engine = self.start(location)
        engine.window("Cached")
        engine.stop()

        self.server.close()
        engine = self.start(location)
        engine.window("Cached")
        engine.stop()

        # Another document that was never fetched cannot be read offline.
        other = self.write("other.nuv", self.server.url + "other.skv")
        rc, _, err = self.run_to_end(other)
        self.assertEqual(rc, 1)
        self.assertIn("Read Error: Could not open Skivet!", err)

    def test_error_page_never_replaces_the_kept_copy(self):
        self.publish("app.skv", 'TITLE "Good copy"\n')
        location = self.write("app.nuv", self.server.url + "app.skv")
        engine = self.start(location)
        engine.window("Good copy")
        engine.stop()

        self.server.set_control({"/app.skv": {"status": "500", "body": 'TITLE "Error page"'}})
        rc, _, err = self.run_to_end(location)
        self.assertEqual(rc, 1)
        self.assertIn("Read Error", err)
        self.server.close()
        engine = self.start(location)
        engine.window("Good copy")


# Runs inside a network namespace of its own, where only loopback exists: brings it up, then
# starts a server and an engine there.
LOOPBACK_ONLY_RUN = """
import fcntl, socket, struct, subprocess, sys
SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
with socket.socket() as s:
    flags = struct.unpack("16sH", fcntl.ioctl(s, SIOCGIFFLAGS, struct.pack("16sH", b"lo", 0)))[1]
    fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH", b"lo", flags | IFF_UP))
nuv, python, server_script, root, address = sys.argv[1:]
server = subprocess.Popen([python, server_script, "--root", root, "--log", root + "/.log",
                           "--control", root + "/.control.json"], stdout=subprocess.PIPE, text=True)
port = int(server.stdout.readline())
engine = subprocess.run([nuv, address.format(port=port)], capture_output=True, text=True,
                        timeout=30)
server.terminate()
sys.stderr.write(engine.stderr)
sys.exit(engine.returncode)
"""


class LoopbackOnly(UserTest):
    """A machine whose only network is loopback."""

    def test_a_loopback_server_that_answers_is_used(self):
        if subprocess.run(["unshare", "-rn", "true"]).returncode != 0:
            self.skipTest("needs unprivileged network namespaces")
        self.write("site/app.nuv", "app.skv")
        self.write("site/app.skv", 'TITLE "Answered"\nEXIT\n')
        env = dict(self.env, QT_QPA_PLATFORM="offscreen")
        # The loopback address in its IPv6 form: no name says it is loopback, the answer does.
        run = subprocess.run(
            ["unshare", "-rn", PYTHON, "-c", LOOPBACK_ONLY_RUN, NUV, PYTHON,
             os.path.join(SERVERS, "httpserver.py"), os.path.join(self.dir, "site"),
             "http://[::ffff:127.0.0.1]:{port}/app.nuv"],
            env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual((run.returncode, run.stderr), (0, ""))


if __name__ == "__main__":
    unittest.main()
