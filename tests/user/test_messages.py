"""What a person reads when something is wrong: each bad input through the real binary, and the
text of its message. Every message keeps the words it has always had and adds the file or server
concerned, what happened and what to do; the library's own words come only after the engine's."""
import os
import socket
import subprocess
import unittest

from skivet import NUV, WAIT, UserTest

REFUSAL = "refused the connection or could not be reached: check that it is running and that " \
          "the address is right."


def refused_port():
    """A loopback port nothing listens on: taken from the system, then let go."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Messages(UserTest):
    def test_each_bad_input_says_what_happened_and_what_to_do(self):
        site = os.path.join(self.dir, "site")
        os.makedirs(site)
        server = self.serve(site)
        server.set_control({"/broken.skv": {"status": 500}})
        down = f"http://127.0.0.1:{refused_port()}/"
        self.write_bytes("picture.nuv", b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01")
        self.write("doc/with-include.skv", 'TITLE "Runs"\n%INCLUDE "gone.skv"\nEXIT\n')
        self.write("down.nuv", f'"{down}app.skv"\n')
        self.write("broken.nuv", f'"{server.url}broken.skv"\n')
        cases = [
            dict(name="no argument", args=[], code=1,
                 says=["Error: You cannot run this program standalone!",
                       "Usage: nuv LOCATION", "Run nuv --help for the options."]),
            dict(name="unknown option", args=["-zz"], code=0,
                 says=["Jov Error: Unknown parameter: -zz", "run nuv --help for the options"]),
            dict(name="missing location file", args=["absent.nuv"], code=1,
                 says=["Read Error: Could not read the location file\n\n"
                       f"{self.dir}/absent.nuv\n\nNo such file: check the name"]),
            dict(name="location file over FTP", args=["ftp://127.0.0.1:1/app.nuv"], code=1,
                 says=["Read Error: Could not read the location file\n\nftp://127.0.0.1:1/app.nuv"
                       "\n\nA location file is read from this machine or over HTTP(S)"],
                 never=["No such file"]),
            dict(name="binary location file", args=["picture.nuv"], code=1,
                 says=[f"Read Error: Could not read the location file\n\n{self.dir}/picture.nuv"
                       "\n\nIt holds bytes that are not text"],
                 never=["PNG", "Broken filename", "appears to no longer exist"]),
            dict(name="missing include", args=["doc/with-include.skv"], code=0,
                 says=[f"Read Error: Could not open the include\n\n{self.dir}/doc/gone.skv\n\n"
                       "appears to no longer exist!\n\nIt is included by "
                       f"{self.dir}/doc/with-include.skv. The Skivet opens without its lines"],
                 never=["Could not open Skivet!"]),
            dict(name="location file's server down", args=[f"{down}app.nuv"], code=1,
                 says=[f"Connection Error: Could not open {down}app.nuv\n\n"
                       f"The server 127.0.0.1:{down.split(':')[2][:-1]} {REFUSAL} (Failed"],
                 never=["You are not connected"]),
            dict(name="document's server down", args=["down.nuv"], code=1,
                 says=[f"Read Error: Could not open Skivet!\n\n{down}app.skv\n\n"
                       "could not be reached, and no copy of it is kept. The server "
                       f"127.0.0.1:{down.split(':')[2][:-1]} {REFUSAL} (Failed"],
                 never=["You are not connected"]),
            dict(name="location file not on the server", args=[f"{server.url}none.nuv"], code=1,
                 says=[f"Connection Error: Could not open {server.url}none.nuv\n\nCode: 404\n\n"
                       "The server answered with status 404. It has nothing at that address: "
                       "check the address."]),
            dict(name="server fault on the document", args=["broken.nuv"], code=1,
                 says=[f"{server.url}broken.skv\n\ncould not be read. The server answered with "
                       "status 500. That is a fault of the server: try again later."]),
        ]
        for case in cases:
            with self.subTest(case["name"]):
                rc, _, err = self.run_to_end(*case["args"])
                self.assertEqual(rc, case["code"], err)
                for text in case["says"]:
                    self.assertIn(text, err)
                for text in case.get("never", []):
                    self.assertNotIn(text, err)

    def test_not_connected_only_when_no_network_is_up(self):
        """The same unanswered address, on this machine and in a network namespace of its own
        (only a loopback interface, down): the person is told to connect only in the second."""
        address = "http://192.0.2.77/app.nuv"  # a documentation address: nothing answers
        isolated = subprocess.run(["unshare", "-n", "true"], capture_output=True)
        if isolated.returncode != 0:
            self.skipTest("no network namespace can be made here")
        offline = "Connection Error: You are not connected to the internet. In order to view " \
                  "this Skivet, you must connect first."
        alone = subprocess.run(["unshare", "-n", NUV, address], env=self.env, cwd=self.dir,
                               capture_output=True, text=True, timeout=2 * WAIT)
        self.assertEqual(alone.returncode, 1)
        self.assertIn(offline, alone.stderr)
        rc, _, err = self.run_to_end(address)
        self.assertEqual(rc, 1)
        self.assertNotIn("You are not connected", err)
        self.assertIn(f"Connection Error: Could not open {address}\n\nThe server 192.0.2.77", err)

    def test_short_help_options_print_the_help(self):
        _, full, _ = self.run_to_end("--help")
        self.assertTrue(full.startswith("Usage: nuv LOCATION"), full)
        for option in ["-h", "-?"]:
            with self.subTest(option):
                rc, out, err = self.run_to_end(option)
                self.assertEqual((rc, out, err), (0, full, ""))


if __name__ == "__main__":
    unittest.main()
