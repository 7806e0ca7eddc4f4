"""quobrix-textfile check, run as a user and as pre-commit run it: each rule
and where its finding points, each refusal of --fix (the file's bytes stay as
they were), exit statuses, every output format, git's file list, and a whole
tree fixed without harm.

QUOBRIX_TEXTFILE_CLI names the binary under test; TF_SOURCE_DIR the
repository (for .pre-commit-hooks.yaml)."""

import hashlib
import json
import os
import shutil
import stat
import subprocess
import tempfile
import unittest

CLI = os.environ.get("QUOBRIX_TEXTFILE_CLI", "quobrix-textfile")
SOURCE = os.environ.get("TF_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))

UTF16 = b"\xff\xfea\x00\n\x00"
LATIN1 = b"caf\xe9\n"


def check(*args, cwd):
    result = subprocess.run([CLI, "check"] + list(args), cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=120)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode()


class CheckCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tf-check-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def tree(self, files):
        for name, data in files.items():
            path = os.path.join(self.dir, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data if isinstance(data, bytes) else data.encode())

    def read(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def gcc(self, *args):
        status, out, err = check("--format", "gcc", *args, cwd=self.dir)
        return status, out.splitlines(), err


class RulesTest(CheckCase):
    # (files, arguments, .editorconfig, exit status, gcc lines)
    CASES = [
        ({"a.txt": "x\ny\r\nz\n"}, [], None, 1,
         ["a.txt:2:2: error: CRLF line ending among LF ones (mixed; 1 break differs)"]),
        ({"a.txt": b"ab\ncaf\xe9\n"}, [], None, 1,
         ["a.txt:2:4: error: not UTF-8: byte 0xE9 (UTF-8 or UTF-16LE wanted)"]),
        ({"a.txt": UTF16, "b.txt": b"\xef\xbb\xbfb\r\n", "c.txt": "\u00e9\n"}, [], None, 0, []),
        ({"a.txt": b"\xef\xbb\xbfb\n"}, ["--charset", "utf-8"], None, 1,
         ["a.txt:1:1: error: UTF-8 with a BOM (utf-8 wanted)"]),
        ({"a.txt": UTF16}, ["--charset", "utf-8"], None, 1,
         ["a.txt:1:1: error: UTF-16LE (utf-8 wanted)"]),
        ({"a.txt": "b\n"}, ["--charset", "utf-8-bom"], None, 1,
         ["a.txt:1:1: error: UTF-8 without a BOM (utf-8-bom wanted)"]),
        ({"a.txt": "b\n"}, ["--charset", "utf-16le"], None, 1,
         ["a.txt:1:1: error: UTF-8 without a BOM (utf-16le wanted)"]),
        ({"a.txt": LATIN1, "b.txt": "ab \u00e9\n"}, ["--charset", "latin1"], None, 1,
         ["b.txt:1:4: error: UTF-8 multi-byte character (latin1 wanted)"]),
        ({"a.txt": "a\r\nb\r\n"}, ["--eol", "lf"], None, 1,
         ["a.txt:1:2: error: CRLF line ending (lf wanted; 2 breaks differ)"]),
        ({"a.txt": "a\nb\r\n"}, ["--eol", "crlf"], None, 1,
         ["a.txt:1:2: error: LF line ending (crlf wanted; 1 break differs)"]),
        ({"a.txt": "a\rb\n"}, ["--eol", "cr"], None, 1,
         ["a.txt:2:2: error: LF line ending (cr wanted; 1 break differs)"]),
        ({"a.txt": "b\n"}, ["--bom", "require"], None, 1,
         ["a.txt:1:1: error: UTF-8 without a BOM (UTF-8 with a BOM or UTF-16LE wanted)"]),
        ({"a.txt": b"\xef\xbb\xbfb\n", "u.txt": UTF16}, ["--bom", "forbid"], None, 1,
         ["a.txt:1:1: error: UTF-8 with a BOM (UTF-8 without a BOM or UTF-16LE wanted)"]),
        # .editorconfig: sections and globs, and the command line over it.
        ({"a.txt": "a\n", "b.md": "b\n", "c.py": "c\r\n"}, [],
         "root = true\n[*.{txt,md}]\nend_of_line = crlf\n[b.md]\ncharset = utf-8-bom\n", 1,
         ["a.txt:1:2: error: LF line ending (crlf wanted; 1 break differs)",
          "b.md:1:1: error: UTF-8 without a BOM (utf-8-bom wanted)",
          "b.md:1:2: error: LF line ending (crlf wanted; 1 break differs)"]),
        ({"a.txt": "a\n"}, ["--eol", "lf"], "root = true\n[*]\nend_of_line = crlf\n", 0, []),
        ({"a.txt": "a\n"}, [], "root = true\n[*]\ncharset = utf-16be\n", 0,
         [".editorconfig: warning: charset utf-16be is not supported; the encoding was not "
          "checked",
          "a.txt: warning: charset utf-16be is not supported; the encoding was not checked"]),
        # The nearest .editorconfig wins, and root = true stops the search.
        ({"sub/a.txt": "a\r\n", "b.txt": "b\r\n"}, [],
         "root = true\n[*.txt]\nend_of_line = crlf\n", 1,
         ["sub/a.txt:1:2: error: CRLF line ending (lf wanted; 1 break differs)"]),
    ]

    def test_rules(self):
        for files, args, editorconfig, status, lines in self.CASES:
            with self.subTest(files=files, args=args, editorconfig=editorconfig):
                shutil.rmtree(self.dir)
                os.mkdir(self.dir)
                self.tree(files)
                if editorconfig is not None:
                    self.tree({".editorconfig": editorconfig})
                if "sub/a.txt" in files:
                    self.tree({"sub/.editorconfig": "root = true\n[*.txt]\nend_of_line = lf\n"})
                self.assertEqual(self.gcc(*args), (status, lines, ""))

    def test_a_broken_editorconfig_exits_2(self):
        self.tree({".editorconfig": "root = true\n[*.txt\ncharset\n", "a.txt": "ok\n"})
        status, out, err = self.gcc()
        self.assertEqual(status, 2)
        self.assertIn("a.txt: error: %s:2: cannot parse this .editorconfig line"
                      % os.path.join(os.path.realpath(self.dir), ".editorconfig"), out)

    def test_usage_errors_exit_2(self):
        for args in (["--charset", "utf-16be"], ["--charset", "ebcdic"], ["--eol", "crcr"],
                     ["--bom", "maybe"], ["--format", "xml"], ["-j", "0"], ["--ansi", "koi8"],
                     ["-"]):
            with self.subTest(args=args):
                status, out, err = check(*args, cwd=self.dir)
                self.assertEqual((status, out), (2, ""))
                self.assertIn("check --help", err)


class FixTest(CheckCase):
    # (name, bytes, extra arguments, what the refusal says)
    REFUSALS = [
        ("sanitized.txt", b"\xef\xbb\xbfa\xffb\n", [], "could not be decoded"),
        ("near-utf8.txt", "caf\u00e9 cr\u00e8me br\u00fbl\u00e9e".encode() + b"\xe9\n",
         ["--ansi", "latin1"], "UTF-8"),
        ("c1.txt", b"\x93quoted\x94\n", [], "--ansi cp1252"),
        ("undefined.txt", b"caf\xe9 \x81\n", ["--ansi", "cp1252"], "Windows-1252"),
        ("no-bom-16.txt", "abcdefgh\n".encode("utf-16-le"), [], "UTF-16LE without a BOM"),
        ("latin1-rule.txt", b"\xef\xbb\xbfx\n", ["--charset", "latin1"], "not latin1"),
    ]

    def test_refusals_leave_the_bytes(self):
        for name, data, args, reason in self.REFUSALS:
            with self.subTest(name=name):
                self.tree({name: data})
                args = args if "--charset" in args else ["--charset", "utf-8"] + args
                status, out, err = check("--fix", *args, name, cwd=self.dir)
                self.assertEqual(status, 1, out)
                self.assertIn("not fixed", out)
                self.assertIn(reason, out)
                self.assertNotIn("(fixed)", out)
                self.assertEqual(self.read(name), data)

    def test_left_alone(self):
        big = os.path.join(self.dir, "big.txt")
        with open(big, "wb") as f:
            f.truncate(524288001)
        self.tree({"bin.dat": b"\x7fELF\x00\x01\x02\x00\x00", "t.txt": "x\r\n"})
        os.symlink("t.txt", os.path.join(self.dir, "link.txt"))
        os.mkfifo(os.path.join(self.dir, "fifo"))
        status, out, err = check("--fix", "--eol", "lf", "big.txt", "bin.dat", "link.txt",
                                 "fifo", cwd=self.dir)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out.splitlines(), [
            "big.txt: warning: larger than the library's limit of 500 MiB (524288001 bytes), "
            "left alone",
            "link.txt: warning: symbolic link, not followed",
            "fifo: warning: not a regular file, left alone",
            "4 files checked, 1 binary skipped, 0 findings, 3 warnings, 0 fixed"])
        self.assertEqual(self.read("t.txt"), b"x\r\n")
        self.assertEqual(self.read("bin.dat"), b"\x7fELF\x00\x01\x02\x00\x00")

    def test_conversions(self):
        # (bytes, arguments, bytes after the fix)
        cases = [
            (b"a\r\nb\nc\r\n", [], b"a\r\nb\r\nc\r\n"),
            (b"a\r\nb\n", ["--eol", "lf"], b"a\nb\n"),
            (b"a\nb", ["--eol", "cr"], b"a\rb"),
            (LATIN1 + b"x\r\n", ["--charset", "utf-8", "--eol", "lf"], b"caf\xc3\xa9\nx\n"),
            (b"\x93q\x94\n", ["--charset", "utf-8", "--ansi", "cp1252"],
             "\u201cq\u201d\n".encode()),
            (b"\x85\n", ["--charset", "utf-8", "--ansi", "latin1"], b"\xc2\x85\n"),
            (UTF16, ["--charset", "utf-8-bom"], b"\xef\xbb\xbfa\n"),
            (b"a\r\n", ["--charset", "latin1", "--eol", "lf"], b"a\n"),
            (b"\xef\xbb\xbfa\r\n", ["--charset", "utf-16le", "--eol", "lf"], UTF16),
        ]
        for data, args, after in cases:
            with self.subTest(data=data, args=args):
                self.tree({"f.txt": data})
                os.chmod(os.path.join(self.dir, "f.txt"), 0o640)
                status, out, err = check("--fix", *args, "f.txt", cwd=self.dir)
                self.assertEqual((status, err), (1, ""))
                self.assertIn("(fixed)", out)
                self.assertEqual(self.read("f.txt"), after)
                mode = os.stat(os.path.join(self.dir, "f.txt")).st_mode
                self.assertEqual(stat.S_IMODE(mode), 0o640)
                self.assertEqual(check(*args, "f.txt", cwd=self.dir)[0], 0)


class OutputTest(CheckCase):
    def test_formats(self):
        self.tree({"a.txt": LATIN1, "b.txt": "ok\n", "c.txt": "x\ny\r\n",
                   "d%,:.txt": "p\nq\r\n"})
        status, out, err = check("--format", "json", cwd=self.dir)
        self.assertEqual((status, err), (1, ""))
        files = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([f["path"] for f in files], ["a.txt", "b.txt", "c.txt", "d%,:.txt"])
        self.assertEqual(files[0]["encoding"], "ansi")
        self.assertEqual(files[0]["findings"], [
            {"level": "error", "rule": "charset", "line": 1, "col": 4,
             "message": "not UTF-8: byte 0xE9 (UTF-8 or UTF-16LE wanted)", "fixed": False}])
        self.assertEqual((files[1]["status"], files[1]["findings"]), ("ok", []))
        status, out, err = check("--format", "github", cwd=self.dir)
        self.assertEqual(out.splitlines()[-2:], [
            "::error file=d%25%2C%3A.txt,line=2,col=2::CRLF line ending among LF ones "
            "(mixed; 1 break differs)",
            "4 files checked, 0 binary skipped, 3 findings"])

    def test_github_shows_ten_per_level(self):
        self.tree({"f%02d.txt" % i: LATIN1 for i in range(12)})
        status, out, err = check("--format", "github", cwd=self.dir)
        lines = out.splitlines()
        self.assertEqual(status, 1)
        self.assertEqual(len(lines), 11)
        self.assertTrue(all(line.startswith("::error file=f") for line in lines[:10]))
        self.assertEqual(lines[10], "12 files checked, 0 binary skipped, 12 findings "
                         "(2 not shown: GitHub takes 10 per level; run with --format gcc for all)")

    def test_same_output_for_any_number_of_threads(self):
        self.tree({"d%d/f%d.txt" % (i % 7, i): (LATIN1 if i % 3 else b"x\r\ny\n") for i in range(80)})
        outputs = {check("-j", jobs, cwd=self.dir)[1] for jobs in ("1", "2", "8")}
        self.assertEqual(len(outputs), 1)


@unittest.skipIf(shutil.which("git") is None, "git is not installed")
class GitTest(CheckCase):
    def git(self, *args):
        subprocess.run(["git", "-C", self.dir, "-c", "user.name=t", "-c", "user.email=t@t"] +
                       list(args), check=True, stdout=subprocess.DEVNULL)

    def test_only_what_git_shows(self):
        self.tree({".gitignore": "build/\n*.log\n", "tracked.txt": LATIN1,
                   "new.txt": LATIN1, "x.log": LATIN1, "build/out.txt": LATIN1})
        self.git("init", "-q")
        self.git("add", "tracked.txt", ".gitignore")
        status, out, err = self.gcc()
        self.assertEqual([line.split(":")[0] for line in out], ["new.txt", "tracked.txt"])

    def test_pre_commit_round_trip(self):
        if shutil.which("pre-commit") is None:
            self.skipTest("pre-commit is not installed")
        with open(os.path.join(SOURCE, ".pre-commit-hooks.yaml")) as f:
            hooks = f.read()
        # The repository's own hooks as a local repo (pre-commit would clone a
        # remote one), with the tool under test as their command.
        local = "repos:\n- repo: local\n  hooks:\n"
        for line in hooks.splitlines():
            if line.startswith("- id:"):
                local += "  " + line + "\n"
            elif line.strip():
                line = line.replace("entry: quobrix-textfile", "entry: " + CLI)
                local += "  " + line + "\n"
                if line.strip().startswith("entry:"):
                    local += "    args: [--charset, utf-8, --eol, lf]\n"
        env = dict(os.environ, PRE_COMMIT_HOME=os.path.join(self.dir, ".cache"))
        self.tree({".pre-commit-config.yaml": local, "mixed.txt": "a\nb\r\n",
                   "latin.txt": LATIN1})
        self.git("init", "-q")
        self.git("add", ".")

        def commit():
            return subprocess.run(
                ["git", "-c", "user.name=t", "-c", "user.email=t@t", "commit", "-qm", "m"],
                cwd=self.dir, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                timeout=300)

        subprocess.run(["pre-commit", "install"], cwd=self.dir, env=env, check=True,
                       stdout=subprocess.DEVNULL)
        first = commit()
        self.assertNotEqual(first.returncode, 0, first.stdout)
        self.assertIn(b"CRLF line ending", first.stdout)
        self.assertEqual(self.read("mixed.txt"), b"a\nb\n")  # the fix hook ran
        self.assertEqual(self.read("latin.txt"), "caf\u00e9\n".encode())
        self.git("add", ".")
        second = commit()
        self.assertEqual(second.returncode, 0, second.stdout)


class TreeTest(CheckCase):
    def test_fix_a_tree_without_harm(self):
        files = {
            "bin/app.bin": bytes(range(256)) * 4,
            "bin/zeros.dat": b"PK\x03\x04" + b"\x00" * 100,
            "img/pic.png": b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR",
            "docs/latin1.txt": b"Gr\xfc\xdfe aus K\xf6ln\r\n",
            "docs/deep/latin1.md": b"na\xefve\nfa\xe7ade\n",
            "ok/utf8.txt": "d\u00e9j\u00e0 vu\n",
            "ok/ascii.py": "print(1)\n",
            "ok/empty.txt": "",
            "mixed.txt": "one\r\ntwo\nthree\n",
        }
        self.tree(files)
        binaries = ["bin/app.bin", "bin/zeros.dat", "img/pic.png"]
        right = ["ok/utf8.txt", "ok/ascii.py", "ok/empty.txt"]
        sums = {name: hashlib.sha256(self.read(name)).hexdigest() for name in binaries}
        before = {name: os.stat(os.path.join(self.dir, name)) for name in right}
        status, out, err = check("--fix", "--charset", "utf-8", "--eol", "lf", "--ansi",
                                 "latin1", cwd=self.dir)
        self.assertEqual((status, err), (1, ""))
        self.assertEqual(out.splitlines()[-1],
                         "9 files checked, 3 binary skipped, 4 findings, 3 fixed")
        for name in binaries:
            self.assertEqual(hashlib.sha256(self.read(name)).hexdigest(), sums[name])
        self.assertEqual(self.read("docs/latin1.txt"), "Gr\u00fc\u00dfe aus K\u00f6ln\n".encode())
        self.assertEqual(self.read("docs/deep/latin1.md"), "na\u00efve\nfa\u00e7ade\n".encode())
        for name in right:
            after = os.stat(os.path.join(self.dir, name))
            self.assertEqual((after.st_ino, after.st_mtime_ns),
                             (before[name].st_ino, before[name].st_mtime_ns), name)
        self.assertEqual(check("--charset", "utf-8", "--eol", "lf", cwd=self.dir),
                         (0, "9 files checked, 3 binary skipped, 0 findings\n", ""))


if __name__ == "__main__":
    unittest.main()
