'use strict';

// What the loader needs to know about the machine: the prebuild folder that
// fits it (<process.platform>-<process.arch>, the layout prebuildify and
// node-gyp-build use), its C library, and the words of the error when no
// library could be loaded.

const fs = require('fs');
const path = require('path');

const PACKAGE_DIR = path.resolve(__dirname, '..');

const BUILD_FROM_SOURCE = 'build the library from source (the project\'s README, "Build from source"; ' +
  'it needs a C++20 compiler, CMake 3.25 and yyjson: cmake -S . -B build -DCMAKE_BUILD_TYPE=Release ' +
  '-DTF_BUILD_TESTS=OFF && cmake --build build), then set QUOBRIX_TEXTFILE_LIBRARY to the library it ' +
  'built in build/src/ (build/bin/ on Windows), or install it on the system\'s library path';

/** This machine: platform, arch and target ("linux-x64"). */
function hostPlatform(platform = process.platform, arch = process.arch) {
  return { platform, arch, target: `${platform}-${arch}` };
}

/** The version of glibc this process runs on ("2.36"), null under another C
 * library, undefined off Linux. */
function glibcVersion() {
  if (process.platform !== 'linux') return undefined;
  const header = process.report && process.report.getReport().header;
  return (header && header.glibcVersionRuntime) || null;
}

/** The targets this copy of the package carries a prebuilt library for. */
function prebuiltTargets(packageDir = PACKAGE_DIR) {
  try {
    return fs.readdirSync(path.join(packageDir, 'prebuilds')).sort();
  } catch {
    return [];
  }
}

/** The glibc version a library asked for and did not get, from the loader's
 * message ("version `GLIBC_2.34' not found"), or undefined. */
function missingGlibc(reason) {
  const match = /GLIBC_(\d+(?:\.\d+)+)' not found/.exec(reason);
  return match ? match[1] : undefined;
}

function describe(host, glibc) {
  if (glibc) return `${host.target} with glibc ${glibc}`;
  if (glibc === null) return `${host.target} with a C library other than glibc`;
  return host.target;
}

/**
 * The message when no candidate loaded: which platform this is, what the
 * package carries, each candidate tried with the loader's reason, and how to
 * build the library from source. `tried`: [{candidate, reason}].
 */
function notFoundMessage(tried, host = hostPlatform(), glibc = glibcVersion(), packageDir = PACKAGE_DIR) {
  const targets = prebuiltTargets(packageDir);
  let why;
  const needed = tried.map((t) => missingGlibc(t.reason)).find((v) => v !== undefined);
  if (needed !== undefined) {
    why = `the prebuilt library for ${host.target} needs glibc ${needed} or later, and this system has ` +
      `${glibc ? `glibc ${glibc}` : 'an older one'}`;
  } else if (targets.includes(host.target)) {
    why = `the prebuilt library for ${host.target} could not be loaded`;
  } else if (targets.length > 0) {
    why = `this package carries prebuilt libraries for ${targets.join(', ')} only`;
  } else {
    why = 'this copy of the package carries no prebuilt library';
  }
  const list = tried.map((t) => `${t.candidate} (${t.reason})`).join('; ');
  return `cannot find the quobrix-textfile library for ${describe(host, glibc)}: ${why}; tried ${list}. ` +
    `To use it here, ${BUILD_FROM_SOURCE}.`;
}

/**
 * The file a library was loaded from: `location` itself when it is a path;
 * for a bare name resolved by the system's loader, the mapped file of that
 * name on Linux (from /proc/self/maps), else the name.
 */
function loadedPath(location) {
  if (path.isAbsolute(location) || process.platform !== 'linux') return location;
  try {
    const maps = fs.readFileSync('/proc/self/maps', 'utf8').split('\n');
    const stem = path.basename(location).split('.so')[0];
    for (const line of maps) {
      const file = line.slice(line.indexOf('/'));
      if (line.includes('/') && path.basename(file).startsWith(`${stem}.so`)) return file;
    }
  } catch {
    // No /proc: the name is what there is to say.
  }
  return location;
}

module.exports = { BUILD_FROM_SOURCE, glibcVersion, hostPlatform, loadedPath, missingGlibc, notFoundMessage, prebuiltTargets };
