/* The oldest glibc the self-contained Linux binaries run on (2.17, CentOS 7
 * and every later distribution), for x86-64 and aarch64, built on a newer one.
 *
 * A binary linked against glibc N imports each function at its newest
 * version, and the loader of an older glibc refuses that version. glibc
 * keeps every older version of a function it changed, so each function of
 * this file is a local (hidden) definition that the library's own objects
 * and the statically linked C++ runtime bind to at link time, and that calls
 * the oldest version through a .symver reference:
 *   pthread_once, pthread_key_create    GLIBC_2.34 -> the first version
 *   pthread_sigmask                     GLIBC_2.32 -> the first version
 *   stat, fstat, lstat, fstatat (+64)   GLIBC_2.33 -> __xstat, __fxstat,
 *                                       __lxstat, __fxstatat, which the
 *                                       headers called before 2.33
 *   fcntl64                             GLIBC_2.28 -> fcntl (same on LP64)
 * and the variable __libc_single_threaded (GLIBC_2.32, no older version) is
 * defined here as 0, "the process may have several threads": the C++
 * runtime then always takes its atomic paths, which is always correct.
 *
 * The post-build floor check (cmake/GlibcFloor.cmake) fails the build when
 * any import is still above the floor: a new call then needs a line here.
 * Only the self-contained builds compile this file (cmake/SelfContained.cmake). */
#include <limits.h> /* defines __GLIBC__ on glibc */

#if defined(__linux__) && defined(__GLIBC__) && (defined(__x86_64__) || defined(__aarch64__))

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/stat.h>

#if defined(__x86_64__)
#define TF_GLIBC_FIRST "GLIBC_2.2.5"
#define TF_GLIBC_AT "GLIBC_2.4" /* the *at calls came with 2.4 */
#define TF_STAT_VER 1           /* _STAT_VER_LINUX: the kernel's struct stat */
#else
#define TF_GLIBC_FIRST "GLIBC_2.17"
#define TF_GLIBC_AT "GLIBC_2.17"
#define TF_STAT_VER 0
#endif

#define TF_LOCAL __attribute__((visibility("hidden")))
/* tf_old_NAME is glibc's NAME at VERSION. */
#define TF_OLD(name, version) __asm__(".symver tf_old_" #name "," #name "@" version)

TF_OLD(pthread_once, TF_GLIBC_FIRST);
TF_OLD(__pthread_key_create, TF_GLIBC_FIRST);
TF_OLD(pthread_key_create, TF_GLIBC_FIRST);
TF_OLD(pthread_sigmask, TF_GLIBC_FIRST);
TF_OLD(__xstat, TF_GLIBC_FIRST);
TF_OLD(__fxstat, TF_GLIBC_FIRST);
TF_OLD(__lxstat, TF_GLIBC_FIRST);
TF_OLD(__fxstatat, TF_GLIBC_AT);
TF_OLD(fcntl, TF_GLIBC_FIRST);

int tf_old_pthread_once(pthread_once_t* once, void (*init)(void));
int tf_old___pthread_key_create(pthread_key_t* key, void (*destroy)(void*));
int tf_old_pthread_key_create(pthread_key_t* key, void (*destroy)(void*));
int tf_old_pthread_sigmask(int how, const sigset_t* set, sigset_t* old);
int tf_old___xstat(int ver, const char* path, struct stat* st);
int tf_old___fxstat(int ver, int fd, struct stat* st);
int tf_old___lxstat(int ver, const char* path, struct stat* st);
int tf_old___fxstatat(int ver, int dirfd, const char* path, struct stat* st, int flags);
int tf_old_fcntl(int fd, int cmd, ...);

TF_LOCAL char __libc_single_threaded = 0;

TF_LOCAL int pthread_once(pthread_once_t* once, void (*init)(void)) {
  return tf_old_pthread_once(once, init);
}

int __pthread_key_create(pthread_key_t* key, void (*destroy)(void*));
TF_LOCAL int __pthread_key_create(pthread_key_t* key, void (*destroy)(void*)) {
  return tf_old___pthread_key_create(key, destroy);
}

TF_LOCAL int pthread_key_create(pthread_key_t* key, void (*destroy)(void*)) {
  return tf_old_pthread_key_create(key, destroy);
}

TF_LOCAL int pthread_sigmask(int how, const sigset_t* set, sigset_t* old) {
  return tf_old_pthread_sigmask(how, set, old);
}

/* On x86-64 and aarch64 struct stat and struct stat64 are one layout. */
TF_LOCAL int stat(const char* path, struct stat* st) {
  return tf_old___xstat(TF_STAT_VER, path, st);
}
TF_LOCAL int fstat(int fd, struct stat* st) { return tf_old___fxstat(TF_STAT_VER, fd, st); }
TF_LOCAL int lstat(const char* path, struct stat* st) {
  return tf_old___lxstat(TF_STAT_VER, path, st);
}
TF_LOCAL int fstatat(int dirfd, const char* path, struct stat* st, int flags) {
  return tf_old___fxstatat(TF_STAT_VER, dirfd, path, st, flags);
}
#ifdef __USE_LARGEFILE64
TF_LOCAL int stat64(const char* path, struct stat64* st) {
  return tf_old___xstat(TF_STAT_VER, path, (struct stat*)st);
}
TF_LOCAL int fstat64(int fd, struct stat64* st) {
  return tf_old___fxstat(TF_STAT_VER, fd, (struct stat*)st);
}
TF_LOCAL int lstat64(const char* path, struct stat64* st) {
  return tf_old___lxstat(TF_STAT_VER, path, (struct stat*)st);
}
TF_LOCAL int fstatat64(int dirfd, const char* path, struct stat64* st, int flags) {
  return tf_old___fxstatat(TF_STAT_VER, dirfd, path, (struct stat*)st, flags);
}
#endif

/* Every fcntl command takes an int, a pointer or nothing: a pointer-sized
 * argument carries each of them on these two ABIs. */
int fcntl64(int fd, int cmd, ...);
TF_LOCAL int fcntl64(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  return tf_old_fcntl(fd, cmd, arg);
}

#endif

/* Keeps the file a translation unit on other systems. */
typedef int tf_glibc_floor_file;
