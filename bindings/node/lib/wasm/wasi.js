'use strict';

// The few WASI (preview1) functions the library's WebAssembly build imports,
// answered with Node's synchronous file calls. Node has a WASI of its own
// (node:wasi), but it is experimental (a warning on first use, options that
// changed between Node 18 and 20) and Node 20 crashed in it once the module's
// memory had grown past a few hundred megabytes; the library needs only files.
//
// One preopened directory, fd 3 named "/", stands for the whole host: on POSIX
// a path "/a/b" is the host's "/a/b"; on Windows "/C:/a/b" is "C:/a/b" (see
// guestPath). Further files are the host's own descriptors behind a table of
// their own.

const fs = require('fs');
const path = require('path');

const ERRNO = {
  E2BIG: 1, EACCES: 2, EAGAIN: 6, EBADF: 8, EBUSY: 10, EDQUOT: 19, EEXIST: 20, EFAULT: 21,
  EFBIG: 22, EINTR: 27, EINVAL: 28, EIO: 29, EISDIR: 31, ELOOP: 32, EMFILE: 33, EMLINK: 34,
  ENAMETOOLONG: 37, ENFILE: 41, ENODEV: 43, ENOENT: 44, ENOMEM: 48, ENOSPC: 51, ENOSYS: 52,
  ENOTDIR: 54, ENOTEMPTY: 55, ENOTSUP: 58, ENXIO: 60, EOVERFLOW: 61, EPERM: 63, EPIPE: 64,
  EROFS: 69, ESPIPE: 70, ESTALE: 72, ETXTBSY: 74, EXDEV: 75,
};
const FILETYPE = { unknown: 0, character: 2, directory: 3, regular: 4, symlink: 7 };
const RIGHTS_FD_READ = 1n << 1n;
const RIGHTS_FD_WRITE = 1n << 6n;
const OFLAGS = { creat: 1, directory: 2, excl: 4, trunc: 8 };
const FDFLAGS = { append: 1, nonblock: 4 };
const LOOKUP_FOLLOW = 1;
const PREOPEN_FD = 3;
const WINDOWS = process.platform === 'win32';
const C = fs.constants;

/** The path the module uses for a host path: the same on POSIX; on Windows
 * "C:\a\b" is "/C:/a/b" and every backslash a slash. */
function guestPath(hostPath) {
  if (!WINDOWS) return hostPath;
  const slashed = hostPath.replace(/\\/g, '/');
  return /^[A-Za-z]:\//.test(slashed) ? `/${slashed}` : slashed;
}

/** The host path of a path relative to the preopened root. */
function hostOfRoot(relative) {
  if (!WINDOWS) return `/${relative}`;
  return /^[A-Za-z]:(\/|$)/.test(relative) ? relative : `/${relative}`;
}

function errnoOf(error) {
  return ERRNO[error && error.code] ?? ERRNO.EIO;
}

function fileType(stats) {
  if (stats.isFile()) return FILETYPE.regular;
  if (stats.isDirectory()) return FILETYPE.directory;
  if (stats.isSymbolicLink()) return FILETYPE.symlink;
  if (stats.isCharacterDevice()) return FILETYPE.character;
  return FILETYPE.unknown;
}

/** Host flags for fs.openSync from WASI's open flags and rights. */
function openFlags(oflags, rights, fdflags, follow) {
  const read = (rights & RIGHTS_FD_READ) !== 0n;
  const write = (rights & RIGHTS_FD_WRITE) !== 0n;
  let flags = read && write ? C.O_RDWR : write ? C.O_WRONLY : C.O_RDONLY;
  if (oflags & OFLAGS.creat) flags |= C.O_CREAT;
  if (oflags & OFLAGS.excl) flags |= C.O_EXCL;
  if (oflags & OFLAGS.trunc) flags |= C.O_TRUNC;
  if (fdflags & FDFLAGS.append) flags |= C.O_APPEND;
  if ((fdflags & FDFLAGS.nonblock) && C.O_NONBLOCK) flags |= C.O_NONBLOCK;
  if ((oflags & OFLAGS.directory) && C.O_DIRECTORY) flags |= C.O_DIRECTORY;
  if (!follow && C.O_NOFOLLOW) flags |= C.O_NOFOLLOW;
  return flags;
}

class Wasi {
  constructor() {
    this.memory = undefined;
    // fd -> { host: path, fd: host descriptor or undefined (a directory
    // Windows cannot open), position: a number (exact below 2^53), directory }
    this.files = new Map([[PREOPEN_FD, { host: hostOfRoot(''), directory: true, root: true }]]);
    this.nextFd = PREOPEN_FD + 1;
    this.imports = { wasi_snapshot_preview1: this.#functions() };
  }

  #view() {
    return new DataView(this.memory.buffer);
  }

  #bytes(address, length) {
    return new Uint8Array(this.memory.buffer, address, length);
  }

  #string(address, length) {
    return Buffer.from(this.#bytes(address, length)).toString('utf8');
  }

  /** The host path of a path relative to the open directory `dirfd`. */
  hostPath(dirfd, address, length) {
    const dir = this.files.get(dirfd);
    if (dir === undefined || !dir.directory) return undefined;
    const relative = this.#string(address, length);
    return dir.root ? hostOfRoot(relative) : path.join(dir.host, relative);
  }

  #writeStat(address, stats) {
    const v = this.#view();
    v.setBigUint64(address, BigInt(stats.dev), true);
    v.setBigUint64(address + 8, BigInt(stats.ino), true);
    v.setUint8(address + 16, fileType(stats));
    v.setBigUint64(address + 24, BigInt(stats.nlink), true);
    v.setBigUint64(address + 32, BigInt(stats.size), true);
    v.setBigUint64(address + 40, BigInt(stats.atimeNs), true);
    v.setBigUint64(address + 48, BigInt(stats.mtimeNs), true);
    v.setBigUint64(address + 56, BigInt(stats.ctimeNs), true);
  }

  // Each function returns WASI's errno; a thrown host error becomes its code.
  #functions() {
    const guard = (f) => (...args) => {
      try {
        return f(...args) ?? 0;
      } catch (error) {
        if (error instanceof ProcExit) throw error;
        return errnoOf(error);
      }
    };
    const table = {
      fd_prestat_get: (fd, out) => {
        const file = this.files.get(fd);
        if (file === undefined || !file.root) return ERRNO.EBADF;
        const v = this.#view();
        v.setUint8(out, 0);
        v.setUint32(out + 4, 1, true);
        return 0;
      },
      fd_prestat_dir_name: (fd, out, length) => {
        const file = this.files.get(fd);
        if (file === undefined || !file.root) return ERRNO.EBADF;
        if (length >= 1) this.#bytes(out, 1)[0] = 0x2f; // "/"
        return 0;
      },
      fd_fdstat_get: (fd, out) => {
        const v = this.#view();
        let type;
        if (fd <= 2) {
          type = FILETYPE.character;
        } else {
          const file = this.files.get(fd);
          if (file === undefined) return ERRNO.EBADF;
          type = file.directory ? FILETYPE.directory : fileType(fs.fstatSync(file.fd));
        }
        v.setUint8(out, type);
        v.setUint16(out + 2, 0, true);
        v.setBigUint64(out + 8, 0xFFFFFFFFFFFFFFFFn, true);
        v.setBigUint64(out + 16, 0xFFFFFFFFFFFFFFFFn, true);
        return 0;
      },
      fd_filestat_get: (fd, out) => {
        const file = this.files.get(fd);
        if (file === undefined) return ERRNO.EBADF;
        const stats = file.fd === undefined ? fs.statSync(file.host, { bigint: true })
          : fs.fstatSync(file.fd, { bigint: true });
        this.#writeStat(out, stats);
        return 0;
      },
      path_filestat_get: (dirfd, flags, address, length, out) => {
        const host = this.hostPath(dirfd, address, length);
        if (host === undefined) return ERRNO.EBADF;
        const stats = (flags & LOOKUP_FOLLOW) ? fs.statSync(host, { bigint: true })
          : fs.lstatSync(host, { bigint: true });
        this.#writeStat(out, stats);
        return 0;
      },
      path_open: (dirfd, lookup, address, length, oflags, rights, _inheriting, fdflags, out) => {
        const host = this.hostPath(dirfd, address, length);
        if (host === undefined) return ERRNO.EBADF;
        const follow = (lookup & LOOKUP_FOLLOW) !== 0;
        let entry;
        if (oflags & OFLAGS.directory) {
          const stats = follow ? fs.statSync(host) : fs.lstatSync(host);
          if (!stats.isDirectory()) return ERRNO.ENOTDIR;
          // Windows opens no directory as a file: its durability needs none.
          entry = { host, fd: WINDOWS ? undefined : fs.openSync(host, openFlags(oflags, 0n, 0, follow)),
            directory: true };
        } else {
          const fd = fs.openSync(host, openFlags(oflags, BigInt(rights), fdflags, follow));
          const directory = fs.fstatSync(fd).isDirectory();
          entry = { host, fd, position: 0, directory };
        }
        const guest = this.nextFd++;
        this.files.set(guest, entry);
        this.#view().setUint32(out, guest, true);
        return 0;
      },
      fd_close: (fd) => {
        const file = this.files.get(fd);
        if (file === undefined || file.root) return ERRNO.EBADF;
        this.files.delete(fd);
        if (file.fd !== undefined) fs.closeSync(file.fd);
        return 0;
      },
      fd_read: (fd, iovs, count, out) => {
        const file = this.files.get(fd);
        if (file === undefined || file.directory) return fd === 0 ? 0 : ERRNO.EBADF;
        const v = this.#view();
        let total = 0;
        for (let k = 0; k < count; k++) {
          const buffer = v.getUint32(iovs + 8 * k, true);
          const length = v.getUint32(iovs + 8 * k + 4, true);
          const n = fs.readSync(file.fd, this.#bytes(buffer, length), 0, length, file.position);
          file.position += n;
          total += n;
          if (n < length) break;
        }
        v.setUint32(out, total, true);
        return 0;
      },
      fd_write: (fd, iovs, count, out) => {
        const v = this.#view();
        let total = 0;
        const file = fd <= 2 ? undefined : this.files.get(fd);
        if (fd > 2 && (file === undefined || file.directory)) return ERRNO.EBADF;
        for (let k = 0; k < count; k++) {
          const buffer = v.getUint32(iovs + 8 * k, true);
          const length = v.getUint32(iovs + 8 * k + 4, true);
          const bytes = this.#bytes(buffer, length);
          let n;
          if (file === undefined) {
            n = fs.writeSync(fd, bytes);
          } else {
            n = fs.writeSync(file.fd, bytes, 0, length, file.position);
            file.position += n;
          }
          total += n;
          if (n < length) break;
        }
        v.setUint32(out, total, true);
        return 0;
      },
      fd_seek: (fd, offset, whence, out) => {
        const file = this.files.get(fd);
        if (file === undefined || file.directory) return fd <= 2 ? ERRNO.ESPIPE : ERRNO.EBADF;
        const base = whence === 0 ? 0 : whence === 1 ? file.position : fs.fstatSync(file.fd).size;
        const position = base + Number(offset);
        if (position < 0) return ERRNO.EINVAL;
        file.position = position;
        this.#view().setBigUint64(out, BigInt(position), true);
        return 0;
      },
      fd_sync: (fd) => {
        const file = this.files.get(fd);
        if (file === undefined) return ERRNO.EBADF;
        if (file.fd !== undefined) fs.fsyncSync(file.fd);
        return 0;
      },
      path_rename: (fromDir, fromAddress, fromLength, toDir, toAddress, toLength) => {
        const from = this.hostPath(fromDir, fromAddress, fromLength);
        const to = this.hostPath(toDir, toAddress, toLength);
        if (from === undefined || to === undefined) return ERRNO.EBADF;
        fs.renameSync(from, to);
        return 0;
      },
      path_unlink_file: (dirfd, address, length) => {
        const host = this.hostPath(dirfd, address, length);
        if (host === undefined) return ERRNO.EBADF;
        if (fs.lstatSync(host).isDirectory()) return ERRNO.EISDIR;
        fs.unlinkSync(host);
        return 0;
      },
      proc_exit: (code) => {
        throw new ProcExit(code);
      },
    };
    const guarded = {};
    for (const [name, f] of Object.entries(table)) guarded[name] = guard(f);
    // Anything else the module might import answers "not supported".
    return new Proxy(guarded, { get: (t, name) => t[name] ?? (() => ERRNO.ENOSYS) });
  }
}

/** The module called exit(): only abort() does in this library. */
class ProcExit extends Error {
  constructor(code) {
    super(`the WebAssembly module exited with code ${code}`);
    this.code = code;
  }
}

module.exports = { ERRNO, ProcExit, Wasi, errnoOf, guestPath };
