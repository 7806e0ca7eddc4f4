"""Finding and loading the shared library, the version, and installing the
package with pip. Each way of finding the library runs in a fresh
interpreter with a copy of the package, so that the environment is exactly
the one under test."""

import ctypes.util
import importlib.util
import os
import platform
import re
import shutil
import subprocess
import sys
import unittest

import quobrix_textfile as qt
from textfile_test_support import LIBRARY, PACKAGE_ROOT, TempDirTestCase


def _pyproject_version():
    with open(os.path.join(PACKAGE_ROOT, "pyproject.toml"), encoding="utf-8") as f:
        return re.search(r'^version\s*=\s*"([^"]*)"', f.read(), re.M).group(1)


class VersionTest(unittest.TestCase):
    def test_library_package_and_project_agree(self):
        self.assertEqual(qt.version(), "1.0.1")
        self.assertEqual(qt.__version__, qt.version())
        self.assertEqual(qt._library.PACKAGE_VERSION, qt.version())
        self.assertEqual(_pyproject_version(), qt.version())


class LoadingTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        if not LIBRARY:
            self.skipTest("QUOBRIX_TEXTFILE_LIBRARY is not set")
        self.site = self.path("site")
        shutil.copytree(
            os.path.join(PACKAGE_ROOT, "quobrix_textfile"),
            os.path.join(self.site, "quobrix_textfile"),
            ignore=shutil.ignore_patterns("__pycache__"),
        )

    def run_python(self, code, **environment):
        env = {k: v for k, v in os.environ.items()
               if k not in ("QUOBRIX_TEXTFILE_LIBRARY", "LD_LIBRARY_PATH", "PYTHONPATH")}
        env.update(environment)
        env["PYTHONPATH"] = self.site
        env["PYTHONDONTWRITEBYTECODE"] = "1"
        return subprocess.run(
            [sys.executable, "-c", code], env=env, cwd=self.dir,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
        )

    def loaded_from(self, **environment):
        code = ("import quobrix_textfile as qt, quobrix_textfile._library as l\n"
                "print(qt.version()); print(l.library()._name)")
        result = self.run_python(code, **environment)
        self.assertEqual(result.returncode, 0, result.stderr)
        version, name = result.stdout.splitlines()
        self.assertEqual(version, "1.0.1")
        return name

    def test_environment_variable_comes_first(self):
        beside = os.path.join(self.site, "quobrix_textfile", "libquobrix-textfile.so.1")
        shutil.copy(LIBRARY, beside)
        self.assertEqual(self.loaded_from(QUOBRIX_TEXTFILE_LIBRARY=LIBRARY), LIBRARY)

    def test_beside_the_package(self):
        beside = os.path.join(self.site, "quobrix_textfile", "libquobrix-textfile.so.1")
        shutil.copy(LIBRARY, beside)
        self.assertEqual(self.loaded_from(), beside)

    def test_library_search_path(self):
        libdir = self.path("lib")
        os.mkdir(libdir)
        shutil.copy(LIBRARY, os.path.join(libdir, "libquobrix-textfile.so.1"))
        self.assertEqual(self.loaded_from(LD_LIBRARY_PATH=libdir), "libquobrix-textfile.so.1")

    def test_a_wrong_environment_variable_is_reported_not_skipped(self):
        beside = os.path.join(self.site, "quobrix_textfile", "libquobrix-textfile.so.1")
        shutil.copy(LIBRARY, beside)
        missing = self.path("no-such-library.so")
        result = self.run_python(
            "import quobrix_textfile as qt\n"
            "try:\n    qt.version()\n"
            "except qt.TextFileError as e:\n    print(e.message)\n",
            QUOBRIX_TEXTFILE_LIBRARY=missing,
        )
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(
            result.stdout.startswith(
                "cannot load the quobrix-textfile library from QUOBRIX_TEXTFILE_LIBRARY=%s: "
                % missing),
            result.stdout)

    def test_a_library_of_another_version_is_named_and_refused(self):
        beside = os.path.join(self.site, "quobrix_textfile", "libquobrix-textfile.so.1")
        shutil.copy(LIBRARY, beside)
        module = os.path.join(self.site, "quobrix_textfile", "_library.py")
        with open(module, encoding="utf-8") as f:
            text = f.read().replace('PACKAGE_VERSION = "1.0.1"', 'PACKAGE_VERSION = "9.9.9"')
        with open(module, "w", encoding="utf-8") as f:
            f.write(text)
        result = self.run_python(
            "import quobrix_textfile as qt\n"
            "try:\n    qt.version()\n"
            "except qt.TextFileError as e:\n    print(e.message)\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith(
            "the quobrix-textfile library found at %s is version 1.0.1, but this package is "
            "version 9.9.9" % beside), result.stdout)

    def test_nowhere_to_be_found(self):
        if ctypes.util.find_library("quobrix-textfile"):
            self.skipTest("the library is installed on this system")
        result = self.run_python(
            "import quobrix_textfile as qt\n"
            "try:\n    qt.open('x')\n"
            "except qt.TextFileError as e:\n    print(e.message)\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith("cannot find the quobrix-textfile library for "),
                        result.stdout)
        self.assertIn("Build from source", result.stdout)

    def test_an_old_glibc_is_named(self):
        message = qt._library._not_found(
            ["/x/libquobrix-textfile.so.1 (/lib/libc.so.6: version `GLIBC_2.99' not found)"])
        self.assertIn("the library beside the package needs glibc 2.99 or later", message)
        self.assertIn("tried /x/libquobrix-textfile.so.1 (", message)

    def test_import_needs_no_library(self):
        result = self.run_python("import quobrix_textfile; print('ok')")
        self.assertEqual((result.returncode, result.stdout), (0, "ok\n"), result.stderr)


class PipInstallTest(TempDirTestCase):
    """pip installs the package offline: the build backend needs nothing
    beyond the standard library."""

    def test_install_wheel_and_sdist_offline(self):
        if not LIBRARY:
            self.skipTest("QUOBRIX_TEXTFILE_LIBRARY is not set")
        probe = subprocess.run([sys.executable, "-m", "pip", "--version"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if probe.returncode != 0:
            self.skipTest("pip is not available")
        source = self.path("src")
        shutil.copytree(PACKAGE_ROOT, source,
                        ignore=shutil.ignore_patterns("__pycache__", "tests"))
        env = dict(os.environ, PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1",
                   PIP_NO_CACHE_DIR="1", PYTHONDONTWRITEBYTECODE="1")
        env.pop("PYTHONPATH", None)
        target = self.path("target")
        result = subprocess.run(
            [sys.executable, "-m", "pip", "install", "--no-deps", "--target", target, source],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertTrue(os.path.isfile(os.path.join(target, "quobrix_textfile", "_library.py")))
        dist_info = [d for d in os.listdir(target) if d.endswith(".dist-info")]
        self.assertEqual(dist_info, ["quobrix_textfile-1.0.1.dist-info"])

        env["PYTHONPATH"] = target
        env["QUOBRIX_TEXTFILE_LIBRARY"] = LIBRARY
        result = subprocess.run(
            [sys.executable, "-c", "import quobrix_textfile as qt; print(qt.version())"],
            env=env, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            universal_newlines=True)
        self.assertEqual((result.returncode, result.stdout), (0, "1.0.1\n"), result.stderr)

        sys.path.insert(0, os.path.join(source, "build_backend"))
        try:
            import quobrix_textfile_build as backend
        finally:
            sys.path.pop(0)
        sdist = backend.build_sdist(self.dir)
        self.assertEqual(sdist, "quobrix_textfile-1.0.1.tar.gz")

    def test_platform_wheel_carries_the_library(self):
        machine = platform.machine()
        if not LIBRARY or not sys.platform.startswith("linux") or machine not in ("x86_64", "aarch64"):
            self.skipTest("needs QUOBRIX_TEXTFILE_LIBRARY on Linux x86_64 or aarch64")
        module_spec = importlib.util.spec_from_file_location(
            "tf_backend_under_test", os.path.join(PACKAGE_ROOT, "build_backend", "quobrix_textfile_build.py"))
        backend = importlib.util.module_from_spec(module_spec)
        module_spec.loader.exec_module(backend)
        env = dict(os.environ, PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1",
                   PIP_NO_CACHE_DIR="1", PYTHONDONTWRITEBYTECODE="1")
        for name in ("QUOBRIX_TEXTFILE_LIBRARY", "PYTHONPATH", "LD_LIBRARY_PATH"):
            env.pop(name, None)

        def pip_install(wheel, target):
            return subprocess.run(
                [sys.executable, "-m", "pip", "install", "--no-deps", "--target", target,
                 os.path.join(self.dir, wheel)],
                env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)

        other = backend.build_platform_wheel(self.dir, "win_amd64", LIBRARY)
        self.assertEqual(other, "quobrix_textfile-1.0.1-py3-none-win_amd64.whl")
        result = pip_install(other, self.path("other"))
        self.assertNotEqual(result.returncode, 0, result.stdout)
        self.assertIn("is not a supported wheel on this platform", result.stdout)

        wheel = backend.build_platform_wheel(self.dir, "manylinux_2_17_" + machine, LIBRARY)
        target = self.path("target")
        result = pip_install(wheel, target)
        self.assertEqual(result.returncode, 0, result.stdout)
        inside = os.path.join(target, "quobrix_textfile", "libquobrix-textfile.so.1")
        with open(inside, "rb") as a, open(LIBRARY, "rb") as b:
            self.assertEqual(a.read(), b.read())
        env["PYTHONPATH"] = target
        result = subprocess.run(
            [sys.executable, "-c", "import quobrix_textfile as qt, quobrix_textfile._library as l\n"
             "print(qt.version()); print(l.library()._name)"],
            env=env, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            universal_newlines=True)
        self.assertEqual((result.returncode, result.stdout), (0, "1.0.1\n%s\n" % inside), result.stderr)


if __name__ == "__main__":
    unittest.main()
