"""The quobrix-textfile command-line tool, run as a user runs it: exact
output lines, exit statuses 0/1/2, the stderr format, pipes.

QUOBRIX_TEXTFILE_CLI names the binary under test and TF_EXAMPLES the
examples/ directory with the sample files."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

CLI = os.environ.get("QUOBRIX_TEXTFILE_CLI", "quobrix-textfile")
EXAMPLES = os.environ.get("TF_EXAMPLES", "examples")
PROGRAM = "quobrix-textfile"

# ASCII, 2-, 3- and 4-byte characters, 0x00 bytes, CR LF and a lone CR.
MIXED = "a\u00e9\u20ac\U0001F600\x00b\r\nc\u00e9\x00\x00\U0001F600\rz"


def run(*args, stdin=subprocess.DEVNULL, cwd=None):
    """(exit status, stdout bytes, stderr text) of one run."""
    result = subprocess.run([CLI] + [str(a) for a in args], stdin=stdin, cwd=cwd,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return result.returncode, result.stdout, result.stderr.decode("utf-8", "replace")


def usage_error(message, command=None):
    hint = "%s %s --help" % (PROGRAM, command) if command else "%s --help" % PROGRAM
    prefix = "%s: %s: " % (PROGRAM, command) if command else "%s: " % PROGRAM
    return "%s%s\nTry '%s' for more information.\n" % (prefix, message, hint)


class CliTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tf-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        path = self.path(name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def assertRun(self, args, status, stdout, stderr=""):
        got = run(*args)
        expected_out = stdout.encode("utf-8") if isinstance(stdout, str) else stdout
        self.assertEqual(got, (status, expected_out, stderr), args)


class GeneralTest(CliTestCase):
    COMMANDS = ["detect", "info"]

    def test_version(self):
        for flag in ("--version", "-V"):
            self.assertRun([flag], 0, "%s 1.0.1\n" % PROGRAM)

    def test_help_lists_every_command(self):
        for args in (["--help"], ["-h"], ["help"]):
            status, out, err = run(*args)
            self.assertEqual((status, err), (0, ""))
            text = out.decode()
            self.assertTrue(text.startswith("Usage: %s COMMAND [ARGUMENTS]\n" % PROGRAM))
            for command in self.COMMANDS:
                self.assertIn("\n  %s " % command, text)

    def test_every_command_has_help(self):
        for command in self.COMMANDS:
            with self.subTest(command=command):
                status, out, err = run(command, "--help")
                self.assertEqual((status, err), (0, ""))
                self.assertTrue(out.decode().startswith("Usage: %s %s " % (PROGRAM, command)))
                self.assertEqual(run(command, "-h"), (status, out, err))
                self.assertEqual(run("help", command), (status, out, err))

    def test_usage_errors_exit_2(self):
        cases = [
            ([], usage_error("missing command")),
            (["frobnicate"], usage_error("unknown command 'frobnicate'")),
            (["--frobnicate"], usage_error("unrecognized option '--frobnicate'")),
            (["help", "frobnicate"], usage_error("unknown command 'frobnicate'")),
            (["detect"], usage_error("missing operand", "detect")),
            (["info", "--bogus", "x"], usage_error("unrecognized option '--bogus'", "info")),
            (["info", "-z", "x"], usage_error("invalid option -- 'z'", "info")),
            (["info", "--pretty=yes", "x"], usage_error("option '--pretty' takes no value", "info")),
        ]
        for args, stderr in cases:
            with self.subTest(args=args):
                self.assertRun(args, 2, "", stderr)

    def test_no_prompt_on_stdin(self):
        # A terminal-less run with an open stdin must not wait for input.
        result = subprocess.run([CLI, "detect", os.path.join(EXAMPLES, "sample-utf8.txt")],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(result.returncode, 0)


class DetectTest(CliTestCase):
    def test_one_line_per_file(self):
        files = [
            ("utf8.txt", b"ab\ncd\nef\n", "utf8, lf, 3 lines, 9 bytes (raw 9)"),
            ("bom.txt", b"\xef\xbb\xbfhi", "utf8-bom, lf, 1 line, 2 bytes (raw 5)"),
            ("u16.txt", b"\xff\xfea\x00\r\x00\n\x00b\x00",
             "utf16le with BOM, crlf, 2 lines, 4 bytes (raw 10)"),
            ("latin1.txt", b"caf\xe9\rx\n", "ansi, mixed, 2 lines, 8 bytes (raw 7)"),
            ("bad-bom.txt", b"\xef\xbb\xbfa\xff", "utf8-bom, lf, 1 line, 4 bytes (raw 5), sanitized"),
            ("empty.txt", b"", "utf8, lf, 0 lines, 0 bytes (raw 0)"),
            ("one.txt", b"x", "utf8, lf, 1 line, 1 byte (raw 1)"),
            ("cr.txt", b"a\rb\r", "utf8, cr, 2 lines, 4 bytes (raw 4)"),
        ]
        paths = [self.write(name, data) for name, data, _ in files]
        expected = "".join("%s: %s\n" % (p, line) for p, (_, _, line) in zip(paths, files))
        self.assertRun(["detect"] + paths, 0, expected)

    def test_the_sample_files(self):
        names = ["sample-latin1.txt", "sample-utf16le-crlf.txt", "sample-utf8-bom.txt",
                 "sample-utf8.txt"]
        expected = [
            "sample-latin1.txt: ansi, lf, 2 lines, 57 bytes (raw 53)",
            "sample-utf16le-crlf.txt: utf16le with BOM, crlf, 3 lines, 84 bytes (raw 112)",
            "sample-utf8-bom.txt: utf8-bom, lf, 2 lines, 47 bytes (raw 50)",
            "sample-utf8.txt: utf8, lf, 3 lines, 80 bytes (raw 80)",
        ]
        status, out, err = run("detect", *names, cwd=EXAMPLES)
        self.assertEqual((status, out.decode(), err), (0, "\n".join(expected) + "\n", ""))

    def test_a_failing_file_does_not_stop_the_others(self):
        good = self.write("good.txt", b"x")
        missing = self.path("missing.txt")
        self.assertRun(
            ["detect", missing, self.dir, good], 1,
            "%s: utf8, lf, 1 line, 1 byte (raw 1)\n" % good,
            "%s: %s: cannot open '%s': No such file or directory\n"
            "%s: %s: '%s' is a directory\n" % (PROGRAM, missing, missing, PROGRAM, self.dir,
                                               self.dir))

    def test_operands_that_look_like_options(self):
        self.write("-x.txt", b"x")
        status, out, err = run("detect", "--", "-x.txt", cwd=self.dir)
        self.assertEqual((status, out, err), (0, b"-x.txt: utf8, lf, 1 line, 1 byte (raw 1)\n", ""))


class InfoTest(CliTestCase):
    INFO = ('{"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":9,"raw_bytes":9,'
            '"lines":3,"sanitized":0}')

    def test_one_file_prints_the_library_json_unchanged(self):
        path = self.write("a.txt", b"ab\ncd\nef\n")
        self.assertRun(["info", path], 0, self.INFO + "\n")

    def test_several_files_lead_with_the_path(self):
        a = self.write("a.txt", b"ab\ncd\nef\n")
        b = self.write("b \"q\".txt", b"\xff\xfeh\x00i\x00")
        status, out, err = run("info", a, b)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out.decode().splitlines(), [
            '{"path":"%s",%s' % (a, self.INFO[1:]),
            '{"path":%s,"encoding":"utf16le","had_bom":1,"line_ending":"lf","bytes":2,'
            '"raw_bytes":6,"lines":1,"sanitized":0}' % json.dumps(b),
        ])

    def test_pretty(self):
        path = self.write("a.txt", b"ab\ncd\nef\n")
        expected = ('{\n  "encoding": "utf8",\n  "had_bom": 0,\n  "line_ending": "lf",\n'
                    '  "bytes": 9,\n  "raw_bytes": 9,\n  "lines": 3,\n  "sanitized": 0\n}\n')
        self.assertRun(["info", "--pretty", path], 0, expected)
        self.assertRun(["info", path, "--pretty"], 0, expected)
        status, out, _ = run("info", "--pretty", path, path)
        self.assertEqual(status, 0)
        self.assertEqual(out.decode().count('\n  "path": '), 2)

    def test_failure_among_several(self):
        a = self.write("a.txt", b"ab\ncd\nef\n")
        missing = self.path("nope")
        self.assertRun(["info", missing, a], 1, '{"path":"%s",%s\n' % (a, self.INFO[1:]),
                       "%s: %s: cannot open '%s': No such file or directory\n"
                       % (PROGRAM, missing, missing))


if __name__ == "__main__":
    unittest.main()
