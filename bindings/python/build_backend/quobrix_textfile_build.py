"""A minimal PEP 517 build backend for the quobrix_textfile package.

The package is pure Python, so a wheel is a zip file of its modules plus the
metadata files; making one needs nothing beyond the standard library, which
keeps `pip install bindings/python` working without a network. Supports
regular wheels, editable installs (a .pth file pointing at this directory)
and source distributions. Archives are reproducible: fixed timestamps and
sorted entries.

Run as a program, it also makes the platform wheels that carry the shared
library inside the package folder (where the loader looks first after the
environment variable), for scripts/package-python.sh:

    python3 quobrix_textfile_build.py platform-wheel DIST TAG LIBRARY [TOOL]
    python3 quobrix_textfile_build.py sdist DIST

TAG is a platform tag such as manylinux_2_17_x86_64 or win_amd64, or several
joined by dots (manylinux_2_17_x86_64.manylinux2014_x86_64, so that pip
before 20.3 knows it too). TOOL is the command-line tool, put beside the
library for the `quobrix-textfile` command (_command.py).
"""

import base64
import gzip
import hashlib
import io
import os
import re
import sys
import tarfile
import zipfile

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_PACKAGE = "quobrix_textfile"
_ZIP_TIME = (1980, 1, 1, 0, 0, 0)
_TAG = "py3-none-any"


def _project():
    """name, version, description and requires-python from pyproject.toml."""
    with io.open(os.path.join(_ROOT, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    section = text.split("[project]", 1)[1].split("\n[", 1)[0]
    fields = {}
    license_ = re.search(r'^license\s*=\s*(?:"([^"]*)"|\{\s*text\s*=\s*"([^"]*)"\s*\})', section, re.M)
    fields["license"] = (license_.group(1) or license_.group(2)) if license_ else None
    for key in ("name", "version", "description", "requires-python"):
        match = re.search(r'^%s\s*=\s*"([^"]*)"' % re.escape(key), section, re.M)
        if match is None:
            raise RuntimeError("pyproject.toml: [project] has no %s" % key)
        fields[key] = match.group(1)
    scripts = text.split("[project.scripts]", 1)[1].split("\n[", 1)[0] if "[project.scripts]" in text else ""
    fields["scripts"] = re.findall(r'^"?([A-Za-z0-9_.-]+)"?\s*=\s*"([^"]*)"', scripts, re.M)
    classifiers = re.search(r"^classifiers\s*=\s*\[(.*?)\]", section, re.M | re.S)
    fields["classifiers"] = re.findall(r'"([^"]*)"', classifiers.group(1)) if classifiers else []
    return fields


def _dist_name(project):
    return re.sub(r"[-_.]+", "_", project["name"]).lower()


def _dist_info(project):
    return "%s-%s.dist-info" % (_dist_name(project), project["version"])


def _metadata(project):
    lines = [
        "Metadata-Version: 2.1",
        "Name: %s" % project["name"],
        "Version: %s" % project["version"],
        "Summary: %s" % project["description"],
        "Requires-Python: %s" % project["requires-python"],
    ]
    if project["license"]:
        lines.append("License: %s" % project["license"])
    lines += ["Classifier: %s" % c for c in project["classifiers"]]
    readme = os.path.join(_ROOT, "README.md")
    body = ""
    if os.path.exists(readme):
        lines.append("Description-Content-Type: text/markdown")
        with io.open(readme, encoding="utf-8") as f:
            body = "\n" + f.read()
    return ("\n".join(lines) + "\n" + body).encode("utf-8")


def _wheel_file(tag=_TAG):
    """The WHEEL file; a wheel of a platform tag carries a native library, so
    it goes into platlib."""
    purelib = "true" if tag == _TAG else "false"
    python, abi, platforms = tag.split("-")
    tags = "".join("Tag: %s-%s-%s\n" % (python, abi, p) for p in platforms.split("."))
    return (
        "Wheel-Version: 1.0\n"
        "Generator: quobrix_textfile_build\n"
        "Root-Is-Purelib: %s\n" % purelib + tags
    ).encode("ascii")


def _package_files():
    """(archive name, absolute path) of every module of the package."""
    found = []
    top = os.path.join(_ROOT, _PACKAGE)
    for directory, subdirs, files in os.walk(top):
        subdirs[:] = sorted(d for d in subdirs if d != "__pycache__")
        for name in sorted(files):
            if name.endswith(".py") or name == "py.typed":
                path = os.path.join(directory, name)
                found.append((os.path.relpath(path, _ROOT).replace(os.sep, "/"), path))
    return found


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return "%s,sha256=%s,%d" % (name, digest.decode("ascii"), len(data))


def _write_wheel(wheel_directory, entries, tag=_TAG, executable=()):
    """entries: list of (archive name, bytes); adds the RECORD. The names in
    `executable` get mode 0755, the others 0644."""
    project = _project()
    dist_info = _dist_info(project)
    entries = list(entries) + [
        (dist_info + "/METADATA", _metadata(project)),
        (dist_info + "/WHEEL", _wheel_file(tag)),
        (dist_info + "/top_level.txt", (_PACKAGE + "\n").encode("ascii")),
    ]
    if project["scripts"]:
        scripts = "".join("%s = %s\n" % pair for pair in project["scripts"])
        entries.append((dist_info + "/entry_points.txt", ("[console_scripts]\n" + scripts).encode("utf-8")))
    if os.path.exists(os.path.join(_ROOT, "LICENSE")):
        entries.append((dist_info + "/LICENSE", _read(os.path.join(_ROOT, "LICENSE"))))
    record_name = dist_info + "/RECORD"
    record = "\n".join([_record_line(n, d) for n, d in entries] + [record_name + ",,"]) + "\n"
    entries.append((record_name, record.encode("utf-8")))
    filename = "%s-%s-%s.whl" % (_dist_name(project), project["version"], tag)
    with zipfile.ZipFile(os.path.join(wheel_directory, filename), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, _ZIP_TIME)
            # A regular file's mode: pip keeps the executable bits of those only.
            info.external_attr = (0o100755 if name in executable else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    return filename


def _read(path):
    with io.open(path, "rb") as f:
        return f.read()


# ---- PEP 517 hooks --------------------------------------------------------


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    project = _project()
    target = os.path.join(metadata_directory, _dist_info(project))
    os.makedirs(target, exist_ok=True)
    for name, data in (("METADATA", _metadata(project)), ("WHEEL", _wheel_file())):
        with io.open(os.path.join(target, name), "wb") as f:
            f.write(data)
    return _dist_info(project)


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, [(n, _read(p)) for n, p in _package_files()])


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    pth = (_ROOT + "\n").encode("utf-8")
    return _write_wheel(wheel_directory, [("_%s_editable.pth" % _PACKAGE, pth)])


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = "%s-%s" % (_dist_name(project), project["version"])
    files = [("pyproject.toml", os.path.join(_ROOT, "pyproject.toml"))]
    for extra in ("README.md", "LICENSE", os.path.join("build_backend", "quobrix_textfile_build.py")):
        if os.path.exists(os.path.join(_ROOT, extra)):
            files.append((extra.replace(os.sep, "/"), os.path.join(_ROOT, extra)))
    files += _package_files()
    filename = base + ".tar.gz"
    # The gzip header's time is fixed too, so the same sources give the same bytes.
    with open(os.path.join(sdist_directory, filename), "wb") as raw, gzip.GzipFile(
        filename="", mode="wb", fileobj=raw, mtime=0
    ) as packed, tarfile.open(fileobj=packed, mode="w", format=tarfile.PAX_FORMAT) as t:
        entries = [(n, _read(p)) for n, p in files] + [("PKG-INFO", _metadata(project))]
        for name, data in entries:
            info = tarfile.TarInfo("%s/%s" % (base, name))
            info.size = len(data)
            info.mode = 0o644
            info.mtime = 315532800
            t.addfile(info, io.BytesIO(data))
    return filename


# ---- platform wheels --------------------------------------------------------


def library_name(tag):
    """The library's file name inside the package for a platform tag."""
    return "quobrix-textfile.dll" if tag.startswith("win") else "libquobrix-textfile.so.1"


def tool_name(tag):
    """The command-line tool's file name inside the package for a platform tag."""
    return "quobrix-textfile.exe" if tag.startswith("win") else "quobrix-textfile"


def build_platform_wheel(wheel_directory, tag, library, tool=None):
    """The package with the shared library `library` (and the command-line
    tool `tool`, beside it) inside its folder, as a wheel for `tag`
    (py3-none-<tag>: pure Python over ctypes, so any Python 3 of that
    platform)."""
    inside = ["%s/%s" % (_PACKAGE, library_name(tag))]
    entries = [(n, _read(p)) for n, p in _package_files()] + [(inside[0], _read(library))]
    if tool is not None:
        inside.append("%s/%s" % (_PACKAGE, tool_name(tag)))
        entries.append((inside[1], _read(tool)))
    return _write_wheel(wheel_directory, entries, "py3-none-" + tag, executable=inside)


def _main(argv):
    if len(argv) in (4, 5) and argv[0] == "platform-wheel":
        print(build_platform_wheel(*argv[1:]))
    elif len(argv) == 2 and argv[0] == "sdist":
        print(build_sdist(argv[1]))
    else:
        sys.stderr.write("usage: %s platform-wheel DIST TAG LIBRARY [TOOL] | sdist DIST\n" % sys.argv[0])
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))
