"""The quobrix-textfile command-line tool, run as a user runs it: exact
output lines, exit statuses 0/1/2, the stderr format, pipes.

QUOBRIX_TEXTFILE_CLI names the binary under test and TF_EXAMPLES the
examples/ directory with the sample files."""

import json
import os
import random
import shutil
import stat
import subprocess
import tempfile
import unittest

CLI = os.environ.get("QUOBRIX_TEXTFILE_CLI", "quobrix-textfile")
EXAMPLES = os.environ.get("TF_EXAMPLES", "examples")
PROGRAM = "quobrix-textfile"

# ASCII, 2-, 3- and 4-byte characters, 0x00 bytes, CR LF and a lone CR.
MIXED = "a\u00e9\u20ac\U0001F600\x00b\r\nc\u00e9\x00\x00\U0001F600\rz"
# The same without 0x00 bytes: text that convert writes.
TEXT = MIXED.replace("\x00", "")


def run(*args, stdin=subprocess.DEVNULL, cwd=None, env=None):
    """(exit status, stdout bytes, stderr text) of one run; `stdin` bytes are
    its standard input."""
    data = stdin if isinstance(stdin, bytes) else None
    result = subprocess.run([CLI] + [str(a) for a in args], input=data, cwd=cwd, env=env,
                            stdin=None if data is not None else stdin,
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

    def assertRun(self, args, status, stdout, stderr="", stdin=None):
        """None for stdout or stderr: anything. `stdin`: bytes to read."""
        got = run(*args, stdin=subprocess.DEVNULL if stdin is None else stdin)
        expected_out = stdout.encode("utf-8") if isinstance(stdout, str) else stdout
        expected = (status, got[1] if stdout is None else expected_out,
                    got[2] if stderr is None else stderr)
        self.assertEqual(got, expected, args)


class GeneralTest(CliTestCase):
    COMMANDS = ["detect", "info", "stats", "linecol", "text", "search", "replace", "cat",
                "convert"]

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
    INFO = ('"encoding":"utf8","had_bom":0,"line_ending":"lf","bytes":9,"raw_bytes":9,'
            '"lines":3,"sanitized":0')

    def test_the_library_json_between_path_and_verdict(self):
        # "path" even for one file, so that `jq .path` works on any output.
        a = self.write("a.txt", b"ab\ncd\nef\n")
        b = self.write("b \"q\".txt", b"\xff\xfeh\x00i\x00")
        self.assertRun(["info", a], 0, '{"path":"%s",%s,"verdict":"text"}\n' % (a, self.INFO))
        status, out, err = run("info", a, b)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out.decode().splitlines(), [
            '{"path":"%s",%s,"verdict":"text"}' % (a, self.INFO),
            '{"path":%s,"encoding":"utf16le","had_bom":1,"line_ending":"lf","bytes":2,'
            '"raw_bytes":6,"lines":1,"sanitized":0,"verdict":"text"}' % json.dumps(b),
        ])

    def test_pretty(self):
        path = self.write("a.txt", b"ab\ncd\nef\n")
        expected = ('{\n  "path": "%s",\n  "encoding": "utf8",\n  "had_bom": 0,\n'
                    '  "line_ending": "lf",\n  "bytes": 9,\n  "raw_bytes": 9,\n  "lines": 3,\n'
                    '  "sanitized": 0,\n  "verdict": "text"\n}\n' % path)
        self.assertRun(["info", "--pretty", path], 0, expected)
        self.assertRun(["info", path, "--pretty"], 0, expected)

    def test_failure_among_several(self):
        a = self.write("a.txt", b"ab\ncd\nef\n")
        missing = self.path("nope")
        self.assertRun(["info", missing, a], 1, '{"path":"%s",%s,"verdict":"text"}\n'
                       % (a, self.INFO), "%s: %s: cannot open '%s': No such file or directory\n"
                       % (PROGRAM, missing, missing))


class QueryTest(CliTestCase):
    def test_stats(self):
        a = self.write("a.txt", b"ab\r\ncd")
        b = self.write("b.txt", b"")
        self.assertRun(["stats", a], 0, '{"lines":2,"words":2,"chars":6,"bytes":6}\n')
        self.assertRun(["stats", a, b], 0,
                       '{"path":"%s","lines":2,"words":2,"chars":6,"bytes":6}\n'
                       '{"path":"%s","lines":0,"words":0,"chars":0,"bytes":0}\n' % (a, b))
        self.assertRun(["stats", "--pretty", a], 0,
                       '{\n  "lines": 2,\n  "words": 2,\n  "chars": 6,\n  "bytes": 6\n}\n')

    def test_linecol(self):
        path = self.write("a.txt", b"ab\r\ncd")
        for offset, expected in (("5", (2, 2)), ("3", (2, 1)), ("-5", (1, 1)), ("100", (2, 3)),
                                 ("-9223372036854775808", (1, 1))):
            with self.subTest(offset=offset):
                self.assertRun(["linecol", path, offset], 0,
                               '{"line":%d,"col":%d}\n' % expected)
        range_ = "(expected an integer from -9223372036854775808 to 9223372036854775807)"
        for bad in ("x", "1.5", "", " 1", "9223372036854775808", "0x10"):
            with self.subTest(bad=bad):
                self.assertRun(["linecol", path, bad], 2, "",
                               usage_error("invalid offset '%s' %s" % (bad, range_), "linecol"))
        self.assertRun(["linecol", path], 2, "", usage_error("missing operand", "linecol"))
        self.assertRun(["linecol", path, "1", "2"], 2, "",
                       usage_error("extra operand '2'", "linecol"))

    def test_text(self):
        path = self.write("a.txt", b"ab\ncd")
        cases = [
            ([], '{"text":"ab\\ncd","next_offset":5}'),
            (["--offset", "4", "--max-bytes", "4"], '{"text":"d","next_offset":5}'),
            (["--offset=0", "--max-bytes=4"], '{"text":"ab\\nc","next_offset":4}'),
            (["--offset", "-5", "--max-bytes", "2"], '{"text":"ab","next_offset":2}'),
            (["--max-bytes", "-1"], '{"text":"","next_offset":0}'),
            (["--offset", "99"], '{"text":"","next_offset":5}'),
        ]
        for options, expected in cases:
            with self.subTest(options=options):
                self.assertRun(["text", path] + options, 0, expected + "\n")
        self.assertRun(["text", "--pretty", path, "--max-bytes", "2"], 0,
                       '{\n  "text": "ab",\n  "next_offset": 2\n}\n')
        self.assertRun(["text", path, "--max-bytes", "2147483648"], 2, "", usage_error(
            "invalid max-bytes '2147483648' (expected an integer from -2147483648 to "
            "2147483647)", "text"))
        self.assertRun(["text", path, "--offset"], 2, "",
                       usage_error("option '--offset' requires a value", "text"))

    def test_text_inside_a_character_is_the_library_failure(self):
        path = self.write("e.txt", "\u00e9".encode())
        self.assertRun(["text", path, "--max-bytes", "1"], 1, "",
                       "%s: %s: failed to serialize JSON\n" % (PROGRAM, path))

    def test_search_json(self):
        path = self.write("a.txt", b"abcabc")
        self.assertRun(["search", path, "bc"], 0,
                       '{"count":2,"query_len":2,"hits":[{"offset":1,"length":2},'
                       '{"offset":4,"length":2}]}\n')
        self.assertRun(["search", path, "BC", "-i", "--max-hits", "1"], 0,
                       '{"count":1,"query_len":2,"hits":[{"offset":1,"length":2}]}\n')
        self.assertRun(["search", "--ignore-case", path, "BC"], 0,
                       '{"count":2,"query_len":2,"hits":[{"offset":1,"length":2},'
                       '{"offset":4,"length":2}]}\n')
        self.assertRun(["search", path, "BC"], 0, '{"count":0,"query_len":2,"hits":[]}\n')
        self.assertRun(["search", path, "--", "-b"], 0, '{"count":0,"query_len":2,"hits":[]}\n')
        self.assertRun(["search", "--pretty", path, "ca"], 0,
                       '{\n  "count": 1,\n  "query_len": 2,\n  "hits": [\n    {\n'
                       '      "offset": 2,\n      "length": 2\n    }\n  ]\n}\n')

    def test_search_lines(self):
        text = "one\r\ntwo two\n\u00e9 x\x00y x\rlast x"
        for encoding, data in (("utf8", text.encode("utf-8")),
                               ("utf16le", b"\xff\xfe" + text.encode("utf-16-le"))):
            with self.subTest(encoding=encoding):
                path = self.write("%s.txt" % encoding, data)
                self.assertRun(["search", "--lines", path, "two"], 0,
                               "%s:2:1: two two\n%s:2:5: two two\n" % (path, path))
                self.assertRun(["search", path, "x", "--lines"], 0, (
                    "%s:3:4: \u00e9 x\x00y x\n%s:3:8: \u00e9 x\x00y x\n%s:4:6: last x\n"
                    % (path, path, path)).encode("utf-8"))
                self.assertRun(["search", "--lines", path, "X", "-i", "--max-hits", "1"], 0,
                               "%s:3:4: \u00e9 x\x00y x\n" % path,
                               "%s: %s: stopped after 1 hit; there are more (--max-hits N shows"
                               " up to N, at most 100000)\n" % (PROGRAM, path))
                self.assertRun(["search", "--lines", path, "nothing"], 0, "")

    def test_search_lines_longer_than_a_read(self):
        # Lines of several thousand bytes, multi-byte characters across every
        # possible cut, the hit at the far end of its line.
        body = ("\u00e9\u20ac\U0001F600a" * 1200) + "HIT" + ("\u20ac" * 700)
        text = "head\n" + body + "\nx HIT\n"
        path = self.write("long.txt", text.encode("utf-8"))
        col = len(("\u00e9\u20ac\U0001F600a" * 1200).encode("utf-8")) + 1
        self.assertRun(["search", "--lines", path, "HIT"], 0,
                       ("%s:2:%d: %s\n%s:3:3: x HIT\n" % (path, col, body, path)).encode())

    def test_search_lines_many_hits_across_every_break(self):
        # About 20,000 hits among LF, lone CR, CR LF, LF CR, 0x00 and multi-byte
        # characters: each line and column as the library counts them.
        rnd = random.Random(7)
        parts = ["x", "\n", "\r", "\r\n", "\n\r", "\x00", "\u00e9", "\U0001F600", "ab"]
        text = "".join(rnd.choice(parts) for _ in range(180000)).encode("utf-8")
        path = self.write("many.txt", text)
        expected, line, start = [], 1, 0
        for i, byte in enumerate(text):
            if byte == ord("x"):
                end = min(e % (len(text) + 1) for e in (text.find(b"\n", i), text.find(b"\r", i)))
                expected.append(b"%s:%d:%d: %s\n" % (path.encode(), line, i - start + 1,
                                                     text[start:end]))
            if byte in b"\r\n":
                line += byte == ord("\r") or text[i - 1:i] != b"\r"
                start = i + 1
        self.assertRun(["search", "--lines", "--max-hits", "100000", path, "x"], 0,
                       b"".join(expected))

    def test_search_lines_never_cuts_silently(self):
        # --lines shows every hit up to the library's most unless told
        # otherwise, and says on stderr when a limit cut the hits short.
        path = self.write("xs.txt", b"x\n" * 300)
        more = ("%s: %s: stopped after %%s; there are more (--max-hits N shows up to N, at most "
                "100000)\n" % (PROGRAM, path))
        for options, lines, stderr in (
                ([], 300, ""),
                (["--max-hits", "300"], 300, ""),
                (["--max-hits", "299"], 299, more % "299 hits"),
                (["--max-hits", "0"], 100, more % "100 hits"),
                (["--max-hits", "-4"], 100, more % "100 hits"),
                (["--max-hits", "999999"], 300, "")):
            with self.subTest(options=options):
                self.assertRun(["search", "--lines", path, "x"] + options, 0,
                               "".join("%s:%d:1: x\n" % (path, n + 1) for n in range(lines)),
                               stderr)
        # At the library's most, a replace-all's count tells whether there
        # are more: exactly when hits cannot overlap.
        most = "%s: %%s: stopped after 100000 hits, the most the library reports; " % PROGRAM
        for data, query, stderr in (
                (b"x\n" * 100000, "x", ""),
                (b"x\n" * 100001, "x", most + "there are 100001\n"),
                (b"ab\n" * 100002, "AB", most + "there are 100002\n"),
                (b"xxx\n" * 50001, "xx", most + "there may be more\n"),
                (b"xxx\n" * 100002, "xx", most + "there are at least 100002\n")):
            with self.subTest(length=len(data), query=query):
                full = self.write("full.txt", data)
                status, out, err = run("search", "-i", "--lines", full, query)
                self.assertEqual((status, out.count(b"\n"), err), (
                    0, 100000, "" if not stderr else stderr % full))
        # The JSON stays the library's own, default limit included.
        status, out, err = run("search", path, "x")
        self.assertEqual((status, json.loads(out)["count"], err), (0, 100, ""))

    def test_replace(self):
        path = self.write("a.txt", b"Cat cat CAT")
        self.assertRun(["replace", path, "Cat", "dog", "-i"], 0,
                       '{"count":3,"text":"dog dog dog"}\n')
        self.assertRun(["replace", path, "Cat", "dog"], 0, '{"count":1,"text":"dog cat CAT"}\n')
        self.assertRun(["replace", "--pretty", path, "x", ""], 0,
                       '{\n  "count": 0,\n  "text": "Cat cat CAT"\n}\n')
        self.assertEqual(self.read(path), b"Cat cat CAT")
        self.assertRun(["replace", path, "Cat"], 2, "", usage_error("missing operand", "replace"))


class CatTest(CliTestCase):
    def test_utf16le_file_comes_out_as_utf8(self):
        path = self.write("u16.txt", b"\xff\xfe" + MIXED.encode("utf-16-le"))
        self.assertRun(["cat", path], 0, MIXED.encode("utf-8"))

    def test_several_files_in_order(self):
        a = self.write("a.txt", b"\xef\xbb\xbfone\n")
        b = self.write("b.txt", b"caf\xe9\n")
        missing = self.path("missing")
        self.assertRun(["cat", a, missing, b], 1, "one\ncaf\u00e9\n",
                       "%s: %s: cannot open '%s': No such file or directory\n"
                       % (PROGRAM, missing, missing))

    def test_every_page_size_gives_the_same_bytes(self):
        data = (MIXED * 3).encode("utf-8")
        path = self.write("mixed.txt", data)
        for size in list(range(1, 12)) + [64, 100, 1 << 20]:
            with self.subTest(size=size):
                self.assertRun(["cat", "--page-bytes", str(size), path], 0, data)
        empty = self.write("empty.txt", b"")
        self.assertRun(["cat", empty, "--page-bytes", "3"], 0, b"")
        self.assertRun(["cat", path, "--page-bytes", "0"], 2, "", usage_error(
            "invalid page-bytes '0' (expected an integer from 1 to 2147483644)", "cat"))

    def test_text_larger_than_tf_full_takes(self):
        # Over 64 MiB: tf_full refuses it and the tool pages with tf_text. Pages
        # of 1 MiB fall inside characters of every width, and a long run of
        # 0x00 bytes shrinks them.
        unit = "\u00e9\u20ac\U0001F600abc\n".encode("utf-8")  # 16 bytes
        data = unit * ((64 << 20) // len(unit)) + b"\x00" * 100000 + unit * 70000
        self.assertGreater(len(data), 64 << 20)
        path = self.write("big.txt", data)
        status, out, err = run("cat", path)
        self.assertEqual((status, err), (0, ""))
        self.assertTrue(out == data, "cat output differs from the file")

    def test_a_closed_pipe_ends_quietly(self):
        path = self.write("big.txt", b"0123456789abcdef" * (1 << 18))  # 4 MiB
        for options in ([], ["--page-bytes", "4096"]):
            with self.subTest(options=options):
                child = subprocess.Popen([CLI, "cat"] + options + [path, path],
                                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(child.stdout.read(1), b"0")
                child.stdout.close()
                err = child.stderr.read()
                child.stderr.close()
                self.assertEqual((child.wait(timeout=60), err), (0, b""))
        shell = subprocess.run(
            ["bash", "-c", 'set -o pipefail; "$0" cat "$1" | head -c1', CLI, path],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual((shell.returncode, shell.stdout, shell.stderr), (0, b"0", b""))

    def test_a_full_disk_is_an_error(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        path = self.write("a.txt", b"abc" * 10000)
        with open("/dev/full", "wb") as full:
            result = subprocess.run([CLI, "cat", path], stdout=full, stderr=subprocess.PIPE,
                                    timeout=60)
        self.assertEqual((result.returncode, result.stderr.decode()),
                         (1, "%s: write error: No space left on device\n" % PROGRAM))


class ConvertTest(CliTestCase):
    def test_round_trips(self):
        original = b"\xff\xfe" + TEXT.encode("utf-16-le")
        path = self.write("doc.txt", original)
        self.assertRun(["convert", path, "--to", "utf8"], 0, "")
        self.assertEqual(self.read(path), TEXT.encode("utf-8"))
        self.assertRun(["convert", "--to=utf8-bom", path], 0, "")
        self.assertEqual(self.read(path), b"\xef\xbb\xbf" + TEXT.encode("utf-8"))
        copy = self.path("copy.txt")
        self.assertRun(["convert", path, "-t", "utf16le", "-o", copy], 0, "")
        self.assertEqual(self.read(copy), original)
        self.assertEqual(self.read(path), b"\xef\xbb\xbf" + TEXT.encode("utf-8"))
        self.assertRun(["convert", copy, "--to", "utf16le", "--output", path], 0, "")
        self.assertEqual(self.read(path), original)
        self.assertEqual(sorted(os.listdir(self.dir)), ["copy.txt", "doc.txt"])
        self.assertRun(["detect", path], 0,
                       "%s: utf16le with BOM, mixed, 3 lines, 22 bytes (raw 30)\n" % path)

    def test_a_replaced_file_keeps_its_permission_bits(self):
        for mode in (0o600, 0o640, 0o755, 0o444):
            with self.subTest(mode=oct(mode)):
                path = self.write("m%o.txt" % mode, b"caf\xe9")
                os.chmod(path, mode)
                self.assertRun(["convert", "--to", "utf16le", path], 0, "")
                self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), mode)
                self.assertEqual(self.read(path), b"\xff\xfec\x00a\x00f\x00\xe9\x00")
        mask = os.umask(0)
        os.umask(mask)
        new = self.path("new.txt")
        self.assertRun(["convert", "--to", "utf8", path, "-o", new], 0, "")
        self.assertEqual(stat.S_IMODE(os.stat(new).st_mode), 0o666 & ~mask)

    def test_ansi_to_utf8_and_several_in_place(self):
        a = self.write("a.txt", b"caf\xe9")
        b = self.write("b.txt", b"\xef\xbb\xbfx")
        self.assertRun(["convert", "--to", "utf8", a, b], 0, "")
        self.assertEqual((self.read(a), self.read(b)), ("caf\u00e9".encode(), b"x"))

    def test_usage_errors(self):
        path = self.write("a.txt", b"x")
        cases = [
            ([path], "missing --to ENCODING"),
            ([path, "--to", "utf16"],
             "invalid encoding 'utf16' for --to (use utf8, utf8-bom or utf16le)"),
            ([path, "--to", "UTF-16BE"],
             "invalid encoding 'UTF-16BE' for --to (use utf8, utf8-bom or utf16le)"),
            ([path, "--to", "latin1"],
             "invalid encoding 'latin1' for --to (use utf8, utf8-bom or utf16le)"),
            ([path, "--to", ""], "invalid encoding '' for --to (use utf8, utf8-bom or utf16le)"),
            (["-", "--to", "utf8"], "standard input cannot be converted in place (use -o OUT)"),
            ([path, "--to", "ansi"],
             "invalid encoding 'ansi' for --to (use utf8, utf8-bom or utf16le)"),
            ([path, path, "--to", "utf8", "-o", self.path("o")], "-o takes exactly one FILE"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assertRun(["convert"] + args, 2, "", usage_error(message, "convert"))
        self.assertEqual(self.read(path), b"x")

    def test_encoding_names_in_the_usual_spellings(self):
        text = "caf\u00e9\n"
        for names, data in (
                (["utf8", "UTF8", "utf-8", "UTF-8", "Utf_8", "utf 8"], text.encode()),
                (["utf8-bom", "UTF-8-BOM", "utf8bom", "utf-8-sig", "UTF-8 BOM", "utf8_with_bom"],
                 b"\xef\xbb\xbf" + text.encode()),
                (["utf16le", "UTF-16LE", "utf-16-le", "UTF16LE", "utf16le-bom"],
                 b"\xff\xfe" + text.encode("utf-16-le"))):
            for name in names:
                with self.subTest(name=name):
                    path = self.write("a.txt", text.encode())
                    self.assertRun(["convert", "--to", name, path], 0, "")
                    self.assertEqual(self.read(path), data)

    def test_ansi_that_holds_utf8_is_refused_unless_from_ansi(self):
        # UTF-8 with a few bad bytes is "ansi" to the library; converting it
        # would encode its UTF-8 twice. Single-byte text hardly ever holds a
        # well-formed UTF-8 sequence: any one refuses the file, exit 1.
        utf8 = "Cr\u00e8me br\u00fbl\u00e9e, 3 \u20ac, \U0001F600\n".encode() * 20
        for i, (data, bad) in enumerate((
                (b"caf\xc3\xa9\xff", "1 byte that is"),
                (b"caf\xc3\xa9 cr\xc3\xa8me br\xc3", "1 byte that is"),  # last one cut
                ("caf\u00e9, 10 ".encode() + b"\xe2\x82", "2 bytes that are"),  # "\u20ac" cut
                (utf8 + "\U0001F600".encode()[:3], "3 bytes that are"),  # a cut download
                (utf8[:500] + b"\x93quoted\x94" + utf8[500:], "2 bytes that are"),
                (b"caf\xc3\xa9 na\xc3\xafve \xe2\x82 \xe2\x82 \xe2\x82", "6 bytes that are"),
                (b"Jos\xc3\xa9;M\xfcller;25\xb0", "2 bytes that are"),  # one sequence only
                ("\u201cCAF\u00c9\u201d".encode("cp1252"), "1 byte that is"),  # C9 94
                ("\u00ab\u00c9T\u00c9\u00bb".encode("cp1252"), "2 bytes that are"))):  # C9 BB
            with self.subTest(data=data[:40]):
                path = self.write("near%d.txt" % i, data)
                out = self.path("out%d.txt" % i)
                self.assertRun(["convert", "--to", "utf8", path, "-o", out], 1, "",
                               "%s: %s: looks like UTF-8 with %s not; converting would encode it "
                               "twice (--from-ansi converts anyway)\n" % (PROGRAM, path, bad))
                self.assertRun(["convert", "--to", "utf16le", "--ansi", "cp1252", path], 1, "",
                               None)
                self.assertEqual((self.read(path), os.path.exists(out)), (data, False))
                self.assertRun(["convert", "--to", "utf8", "--from-ansi", "--ansi", "latin1",
                                path], 0, "")
                self.assertEqual(self.read(path), data.decode("latin-1").encode())

    def test_latin1_text_still_converts(self):
        # Accented letters sit between ASCII ones, outside any UTF-8 sequence.
        samples = [
            "caf\u00e9",
            "\u00ab \u00c9T\u00c9 \u00bb \u00e0 Paris, d\u00e9j\u00e0 vu",
            "Fu\u00df und Gr\u00f6\u00dfe\u00b2, 20\u00b0C, \u00a9 2024 \u00c6r\u00f8",
            "\u00c0 \u00c1 \u00c2 \u00c3 \u00c4 \u00c5 \u00d1 \u00d6 \u00dc \u00df \u00e9\u00e8\u00ea\u00eb"
            " \u00bf\u00a1 \u00a3\u00a5 \u00b1\u00d7\u00f7",
        ]
        for text in samples:
            with self.subTest(text=text):
                data = text.encode("latin-1")
                path = self.write("latin1.txt", data)
                self.assertRun(["detect", path], 0, None)
                self.assertRun(["convert", "--to", "utf8", path], 0, "")
                self.assertEqual(self.read(path), text.encode())
        with open(os.path.join(EXAMPLES, "sample-latin1.txt"), "rb") as f:
            sample = self.write("sample.txt", f.read())
        self.assertRun(["convert", "--to", "utf8-bom", sample], 0, "")

    def test_sanitized_text_is_refused_unless_lossy(self):
        message = ("the text holds replacement characters (U+FFFD) for bytes that could not "
                   "be decoded; converting would lose the original bytes (--lossy converts "
                   "anyway)")
        for data, lossy in ((b"\xef\xbb\xbfa\xff", "a\ufffd"),
                            (b"\xff\xfea\x00\x00\xd8", "a\ufffd")):
            with self.subTest(data=data):
                path = self.write("bad.txt", data)
                good = self.write("good.txt", b"x")
                self.assertRun(["convert", "--to", "utf8", path, good], 1, "",
                               "%s: %s: %s\n" % (PROGRAM, path, message))
                self.assertEqual((self.read(path), self.read(good)), (data, b"x"))
                self.assertRun(["convert", "--to", "utf8", "--lossy", path], 0, "")
                self.assertEqual(self.read(path), lossy.encode())

    def test_failures(self):
        good = self.write("good.txt", b"x")
        missing = self.path("missing.txt")
        nowhere = self.path("no/dir/out.txt")
        self.assertRun(["convert", "--to", "utf8", good, "-o", nowhere], 1, "",
                       "%s: %s: cannot create temp file '%s.tmp': No such file or directory\n"
                       % (PROGRAM, nowhere, nowhere))
        self.assertRun(["convert", "--to", "utf16le", missing, good], 1, "",
                       "%s: %s: cannot open '%s': No such file or directory\n"
                       % (PROGRAM, missing, missing))
        self.assertEqual(self.read(good), b"\xff\xfex\x00")


class VerdictTest(CliTestCase):
    """What the bytes are: a binary file is said so and never rewritten."""

    BINARY = [
        # (bytes, detect's suffix, info's verdict)
        (b"PK\x03\x04\x14\x00\x00\x00\x08\x00", ", binary", "binary"),
        (b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", ", binary", "binary"),
        (b"abc\x00", ", binary", "binary"),
        (b"\xef\xbb\xbfa\x00b", ", binary", "binary"),
        (b"text\x01\x02text", ", binary", "binary"),
        (b"caf\xe9\x1a\x1a", ", binary", "binary"),
        ("hello\r\n".encode("utf-16-le"), ", UTF-16LE without a BOM?", "utf16le-no-bom"),
        ("hello\r\n".encode("utf-16-be"), ", UTF-16BE?", "utf16be"),
        (b"\xfe\xff" + "<x/>".encode("utf-16-be"), ", UTF-16BE?", "utf16be"),
    ]
    TEXT = [
        b"", b"plain\n", b"\x1b[1mbold\x1b[0m\tx\x08_\x0cpage\r\n", b"dos end\x1a",
        b".if !\x07\\*(10\x07\x07 .br\n", b"\x1b]0;title\x07\x0b\x0c",  # troff, a terminal
        b"\xff\xfea\x00\x00\x00b\x00",  # UTF-16LE: U+0000 is text
    ]

    def test_binary_files_are_said_so_and_never_rewritten(self):
        for i, (data, suffix, verdict) in enumerate(self.BINARY):
            with self.subTest(data=data):
                path = self.write("b%d" % i, data)
                status, out, err = run("detect", path)
                self.assertEqual((status, err), (0, ""))
                self.assertTrue(out.decode("latin-1").endswith(suffix + "\n"), out)
                status, out, err = run("info", path)
                self.assertEqual((status, json.loads(out)["verdict"]), (0, verdict))
                before = os.stat(path)
                message = "binary file, not converted" if verdict == "binary" else \
                    "binary file (%s), not converted" % suffix[2:]
                for options in (["--to", "utf8"], ["--to", "utf16le", "--lossy", "--from-ansi",
                                                   "--ansi", "cp1252", "--eol", "crlf"]):
                    self.assertRun(["convert"] + options + [path], 1, "",
                                   "%s: %s: %s\n" % (PROGRAM, path, message))
                self.assertEqual((self.read(path), os.stat(path).st_mtime_ns,
                                  os.stat(path).st_ino), (data, before.st_mtime_ns, before.st_ino))

    def test_text_is_not_binary(self):
        for i, data in enumerate(self.TEXT):
            with self.subTest(data=data):
                path = self.write("t%d" % i, data)
                status, out, err = run("info", path)
                self.assertEqual((status, json.loads(out)["verdict"], err), (0, "text", ""))


class AnsiCodePageTest(CliTestCase):
    def test_cp1252_needs_naming(self):
        data = b"He said \x93hello\x94 \x96 it costs \x805\n"
        path = self.write("q.txt", data)
        self.assertRun(["convert", "--to", "utf8", path], 1, "",
                       "%s: %s: holds bytes 80-9F (93 at offset 8), control characters in "
                       "Latin-1 but punctuation in Windows-1252; name the code page: --ansi "
                       "cp1252 or --ansi latin1\n" % (PROGRAM, path))
        self.assertEqual(self.read(path), data)
        for page, text in (("cp1252", "He said \u201chello\u201d \u2013 it costs \u20ac5\n"),
                           ("Windows-1252", None), ("latin1", data.decode("latin-1")),
                           ("ISO-8859-1", None)):
            with self.subTest(page=page):
                self.write("q.txt", data)
                self.assertRun(["convert", "--to", "utf8", "--ansi", page, path], 0, "")
                if text is not None:
                    self.assertEqual(self.read(path), text.encode())
        self.assertRun(["convert", "--to", "utf8", "--ansi", "koi8", path], 2, "", usage_error(
            "invalid code page 'koi8' for --ansi (use latin1 or cp1252)", "convert"))

    def test_every_cp1252_byte(self):
        data = bytes(range(0x80, 0x100))
        for byte in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
            with self.subTest(byte=byte):
                path = self.write("u.txt", b"ab" + bytes([byte]))
                self.assertRun(["convert", "--to", "utf8", "--ansi", "cp1252", path], 1, "",
                               "%s: %s: holds byte %02X (at offset 2), which Windows-1252 does "
                               "not define; not converted (--ansi latin1 reads it as a control "
                               "character)\n" % (PROGRAM, path, byte))
        defined = bytes(b for b in data if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D))
        # One byte per line: no two of them form a UTF-8 sequence.
        lines = b"\n".join(bytes([b]) for b in defined)
        path = self.write("all.txt", lines)
        self.assertRun(["convert", "--to", "utf16le", "--ansi", "cp1252", path], 0, "")
        self.assertEqual(self.read(path), b"\xff\xfe" + lines.decode("cp1252").encode("utf-16-le"))


class ConvertFormTest(CliTestCase):
    def test_eol(self):
        for data, eol, expected in (
                (b"a\r\nb\rc\nd", "lf", b"a\nb\nc\nd"),
                (b"a\r\nb\rc\nd\r", "crlf", b"a\r\nb\r\nc\r\nd\r\n"),
                (b"a\n\nb\r\n", "CR", b"a\r\rb\r"),
                (b"\r\n\r\n", "lf", b"\n\n"),
                (b"caf\xe9\r\n", "lf", "caf\u00e9\n".encode()),
                (b"\xff\xfea\x00\r\x00\n\x00", "lf", b"a\n")):
            with self.subTest(data=data, eol=eol):
                path = self.write("e.txt", data)
                self.assertRun(["convert", "--to", "utf8", "--eol", eol, path], 0, "")
                self.assertEqual(self.read(path), expected)
        self.assertRun(["convert", "--to", "utf8", "--eol", "nl", path], 2, "", usage_error(
            "invalid line ending 'nl' for --eol (use lf, crlf or cr)", "convert"))

    def test_dry_run_and_the_unchanged_file(self):
        files = [("a.txt", b"caf\xe9\r\n", ["--eol", "lf"], "ansi (latin1), crlf -> utf8, lf"),
                 ("b.txt", b"x\n", ["--eol", "lf"], "utf8, lf, unchanged"),
                 ("c.txt", b"\xef\xbb\xbfx\r\n", [], "utf8-bom, crlf -> utf8, crlf"),
                 ("d.txt", b"x\r\ny\r\n", ["--eol", "crlf"], "utf8, crlf, unchanged"),
                 ("e.txt", b"x\r\n", [], "utf8, crlf, unchanged")]
        for name, data, options, said in files:
            with self.subTest(name=name):
                path = self.write(name, data)
                os.utime(path, ns=(10**18, 10**18))
                before = os.stat(path)
                self.assertRun(["convert", "--dry-run", "--to", "utf8"] + options + [path], 0,
                               "%s: %s\n" % (path, said))
                self.assertEqual((self.read(path), os.stat(path).st_mtime_ns), (data, 10**18))
                self.assertRun(["convert", "--to", "utf8"] + options + [path], 0, "")
                after = os.stat(path)
                if said.endswith("unchanged"):
                    self.assertEqual((after.st_ino, after.st_mtime_ns, self.read(path)),
                                     (before.st_ino, 10**18, data))
                else:
                    self.assertNotEqual(self.read(path), data)
        out = self.path("out.txt")
        self.assertRun(["convert", "--to", "utf8", self.path("b.txt"), "-o", out], 0, "")
        self.assertEqual(self.read(out), b"x\n")


class ManyFilesTest(CliTestCase):
    def test_search_takes_several_files(self):
        a = self.write("a.txt", b"ab\nxab\n")
        b = self.write("b.txt", b"\xff\xfe" + "ab".encode("utf-16-le"))
        missing = self.path("missing.txt")
        status, out, err = run("search", a, missing, b, "ab")
        self.assertEqual((status, [(o["path"], o["count"]) for o in map(json.loads,
                                                                         out.splitlines())]),
                         (1, [(a, 2), (b, 1)]))
        self.assertIn(missing, err)
        self.assertRun(["search", "--lines", a, b, "ab"], 0,
                       "%s:1:1: ab\n%s:2:2: xab\n%s:1:1: ab\n" % (a, a, b))
        self.assertRun(["search", a, "ab"], 0, None)  # one file: the library's JSON
        self.assertNotIn(b'"path"', run("search", a, "ab")[1])


class StdinTest(CliTestCase):
    """"-" and /dev/stdin: standard input, spooled to a temporary file that
    the tool removes (on Linux it never has a name)."""

    def env(self):
        spool = self.path("tmp")
        os.makedirs(spool, exist_ok=True)
        return dict(os.environ, TMPDIR=spool), spool

    def test_every_read_command_takes_standard_input(self):
        data = b"\xff\xfe" + "ab\r\nc\u00e9 ab".encode("utf-16-le")
        env, spool = self.env()
        for args, out in (
                (["cat", "-"], "ab\r\nc\u00e9 ab"),
                (["detect", "-"], "-: utf16le with BOM, crlf, 2 lines, 10 bytes (raw 20)\n"),
                (["detect", "/dev/stdin"],
                 "/dev/stdin: utf16le with BOM, crlf, 2 lines, 10 bytes (raw 20)\n"),
                (["stats", "-"], '{"lines":2,"words":3,"chars":9,"bytes":10}\n'),
                (["info", "-", "--pretty"], None),
                (["linecol", "-", "5"], '{"line":2,"col":2}\n'),
                (["text", "-", "--max-bytes", "2"], '{"text":"ab","next_offset":2}\n'),
                (["search", "--lines", "-", "ab"], "-:1:1: ab\n-:2:5: c\u00e9 ab\n"),
                (["replace", "-", "ab", "x"], '{"count":2,"text":"x\\r\\nc\u00e9 x"}\n'),
                (["cat", "-", "--", "-"], None)):
            with self.subTest(args=args):
                status, got, err = run(*args, stdin=data, env=env)
                if out is not None:
                    self.assertEqual((status, got, err), (0, out.encode(), ""))
                self.assertEqual(os.listdir(spool), [])
        self.assertEqual(run("cat", "-", "-", stdin=data, env=env), (
            1, "ab\r\nc\u00e9 ab".encode(),
            "%s: -: standard input can be read only once\n" % PROGRAM))
        copy = self.path("copy.txt")
        self.assertRun(["convert", "--to", "utf8", "-", "-o", copy], 0, "", stdin=data)
        self.assertEqual(self.read(copy), "ab\r\nc\u00e9 ab".encode())
        self.assertRun(["cat", "-"], 0, b"")  # an empty standard input
        self.assertEqual(os.listdir(spool), [])

    def test_the_spool_never_has_a_name_while_it_is_read(self):
        # The tool waits on an open pipe; the spool it holds is nameless, and
        # a signal leaves nothing behind either.
        if not os.path.isdir("/proc/self/fd"):
            self.skipTest("no /proc")
        env, spool = self.env()
        child = subprocess.Popen([CLI, "cat", "-"], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        # More than a pipe holds: once written, the tool has been reading.
        child.stdin.write(b"x" * (2 << 20))
        child.stdin.flush()
        fd_dir = "/proc/%d/fd" % child.pid
        held = []
        for _ in range(20000):
            held = [os.readlink(os.path.join(fd_dir, fd)) for fd in os.listdir(fd_dir)
                    if os.readlink(os.path.join(fd_dir, fd)).startswith(spool)]
            if held:
                break
        self.assertEqual(len(held), 1)
        self.assertTrue(held[0].endswith(" (deleted)"), held)
        self.assertEqual(os.listdir(spool), [])
        child.terminate()
        child.communicate(timeout=60)
        self.assertEqual(os.listdir(spool), [])

    def test_a_closed_standard_input_is_no_empty_document(self):
        for args in (["info", "-"], ["cat", "-"], ["convert", "--to", "utf8", "-", "-o",
                                                   self.path("o.txt")]):
            with self.subTest(args=args):
                result = subprocess.run([CLI] + args, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, preexec_fn=lambda: os.close(0),
                                        timeout=60)
                self.assertEqual((result.returncode, result.stdout, result.stderr.decode()),
                                 (1, b"", "%s: -: standard input is closed\n" % PROGRAM))
        self.assertFalse(os.path.exists(self.path("o.txt")))

    def test_failures_name_the_operand(self):
        env, spool = self.env()
        none = self.path("none")
        self.assertEqual(run("cat", "-", stdin=b"", env=dict(env, TMPDIR=none)), (
            1, b"", "%s: -: cannot create a temporary file for standard input in '%s': No such "
            "file or directory\n" % (PROGRAM, none)))
        self.assertEqual(os.listdir(spool), [])


if __name__ == "__main__":
    unittest.main()
