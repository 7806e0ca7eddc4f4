"""The quobrix-textfile command of the Python package.

`pip install quobrix-textfile` puts a `quobrix-textfile` script on PATH that
calls main(): it runs the command-line tool the platform wheels carry beside
the library in this package folder, with the arguments, input and output
given, and exits as it exits. Where the package holds no tool (the wheel
built from the source distribution, a platform without a prebuilt wheel) it
says so and how to get one.
"""

import os
import platform
import subprocess
import sys

_TOOL = "quobrix-textfile.exe" if sys.platform == "win32" else "quobrix-textfile"

_BUILD_FROM_SOURCE = (
    "To use the command here, build it from source (the project's README, \"Build from source\": "
    "cmake --preset release && cmake --build --preset release) and run build/release/tools/"
    "quobrix-textfile, or install it with cmake --install"
)


def tool_path():
    """Where this package keeps the tool (it may be absent)."""
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), _TOOL)


def _give_up(why):
    sys.stderr.write("quobrix-textfile: %s. %s.\n" % (why, _BUILD_FROM_SOURCE))
    return 127


def main(argv=None):
    args = sys.argv[1:] if argv is None else list(argv)
    tool = tool_path()
    if not os.path.isfile(tool):
        return _give_up(
            "this installation of the package has no prebuilt command for %s-%s (only the platform "
            "wheels for Linux x86-64 and aarch64 and Windows x64 carry one)"
            % (sys.platform, platform.machine().lower() or "unknown")
        )
    if sys.platform != "win32" and not os.access(tool, os.X_OK):
        # An installer that dropped the mode (pip keeps it).
        try:
            os.chmod(tool, 0o755)
        except OSError:
            pass  # reported by the start below
    try:
        if sys.platform == "win32":
            return subprocess.call([tool] + args)
        sys.stdout.flush()
        sys.stderr.flush()
        os.execv(tool, [tool] + args)
    except OSError as error:
        return _give_up("the prebuilt command %s could not be started (%s)" % (tool, error))
    return 0


if __name__ == "__main__":
    sys.exit(main())
