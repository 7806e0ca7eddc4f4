/* The files to check. An operand that is a directory is walked: inside a git
 * work tree exactly the files git shows (tracked ones, and untracked ones it
 * does not ignore: `git ls-files -z --cached --others --exclude-standard`),
 * elsewhere everything below it but .git, .hg and .svn. Links are listed,
 * never followed. Each directory's files come out sorted by path, so the
 * output is the same whatever the file system's order. Any other operand
 * (a file, a link, a name that does not exist) is taken as it is. */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#if !defined(_WIN32)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "check/check.h"
#include "cli.h"

static char* join(const char* dir, const char* name, size_t name_length) {
  const int bare = strcmp(dir, ".") == 0;
  const size_t dir_length = bare ? 0 : strlen(dir);
  const int slash = dir_length > 0 && dir[dir_length - 1] != '/';
  char* path = malloc(dir_length + (size_t)slash + name_length + 1);
  if (path == NULL) return NULL;
  memcpy(path, dir, dir_length);
  if (slash) path[dir_length] = '/';
  memcpy(path + dir_length + (size_t)slash, name, name_length);
  path[dir_length + (size_t)slash + name_length] = '\0';
  return path;
}

static int push(CheckList* list, char* path, int from_walk) {
  CheckFile* file;
  if (path == NULL) return -1;
  if (list->count == list->capacity) {
    const size_t capacity = list->capacity == 0 ? 256 : list->capacity * 2;
    CheckFile* grown = realloc(list->files, sizeof *grown * capacity);
    if (grown == NULL) {
      free(path);
      return -1;
    }
    list->files = grown;
    list->capacity = capacity;
  }
  file = &list->files[list->count++];
  memset(file, 0, sizeof *file);
  file->path = path;
  file->from_walk = from_walk;
  return 0;
}

static int is_vcs_dir(const char* name, size_t length) {
  return (length == 4 && (memcmp(name, ".git", 4) == 0 || memcmp(name, ".svn", 4) == 0)) ||
         (length == 3 && memcmp(name, ".hg", 3) == 0);
}

#if !defined(_WIN32)
/* Non-zero when a path that git listed lies in a .git, .hg or .svn folder. */
static int inside_vcs_dir(const char* path) {
  const char* part = path;
  for (;;) {
    const char* end = strchr(part, '/');
    const size_t length = end != NULL ? (size_t)(end - part) : strlen(part);
    if (end != NULL && is_vcs_dir(part, length)) return 1;
    if (end == NULL) return 0;
    part = end + 1;
  }
}

/* The files git shows below `dir`: 1 when git answered (the list is
 * filled), 0 when `dir` is not in a work tree or there is no git, -1 when
 * memory ran out. */
static int git_files(CheckList* list, const char* dir) {
  char* argv[] = {"git",      "-C",       (char*)dir,           "ls-files", "-z",
                  "--cached", "--others", "--exclude-standard", NULL};
  posix_spawn_file_actions_t actions;
  int fds[2];
  pid_t pid;
  char* data = NULL;
  size_t length = 0, capacity = 0;
  int status = 0;
  int spawned;
  int out_of_memory = 0, read_failed = 0;
  if (pipe(fds) != 0) return 0;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  spawned = posix_spawnp(&pid, "git", &actions, NULL, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return 0;
  }
  for (;;) {
    ssize_t got;
    if (capacity - length < 65536) {
      char* grown = realloc(data, capacity + 262144);
      if (grown == NULL) {
        out_of_memory = 1;
        break;
      }
      data = grown;
      capacity += 262144;
    }
    got = read(fds[0], data + length, capacity - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read_failed = 1;
    if (got <= 0) break;
    length += (size_t)got;
  }
  close(fds[0]);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  /* A list cut short is never taken for git's answer. */
  if (out_of_memory) {
    free(data);
    return -1;
  }
  if (read_failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || data == NULL) {
    free(data);
    return 0;
  }
  for (size_t at = 0; at < length;) {
    const char* name = data + at;
    const size_t name_length = strnlen(name, length - at);
    at += name_length + 1;
    if (name_length == 0 || inside_vcs_dir(name)) continue;
    if (push(list, join(dir, name, name_length), 1) != 0) {
      free(data);
      return -1;
    }
  }
  free(data);
  return 1;
}
#endif

static int walk(CheckList* list, const char* dir) {
  DIR* stream = opendir(dir);
  struct dirent* entry;
  int status = 0;
  if (stream == NULL) {
    fprintf(stderr, "%s: %s: %s\n", CLI_PROGRAM, dir, strerror(errno));
    return -1;
  }
  while ((entry = readdir(stream)) != NULL) {
    const char* name = entry->d_name;
    const size_t length = strlen(name);
    char* path;
    struct stat st;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || is_vcs_dir(name, length)) continue;
    path = join(dir, name, length);
    if (path == NULL) {
      status = -1;
      break;
    }
#if defined(_WIN32)
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
#else
    if (lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
#endif
      const int walked = walk(list, path);
      free(path);
      if (walked != 0) status = -1;
      continue;
    }
    if (push(list, path, 1) != 0) {
      status = -1;
      break;
    }
  }
  closedir(stream);
  return status;
}

static int by_path(const void* a, const void* b) {
  return strcmp(((const CheckFile*)a)->path, ((const CheckFile*)b)->path);
}

int check_list_add(CheckList* list, const char* path) {
  struct stat st;
  const size_t first = list->count;
  int status;
  size_t length = strlen(path);
  char* copy;
  /* A link named on the command line is reported like any other ("link/"
   * with its slash names the directory it points to). */
#if defined(_WIN32)
  if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
#else
  if (lstat(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
#endif
    copy = malloc(length + 1);
    if (copy != NULL) memcpy(copy, path, length + 1);
    if (push(list, copy, 0) != 0) {
      fprintf(stderr, "%s: out of memory\n", CLI_PROGRAM);
      return -1;
    }
    return 0;
  }
  /* "dir/" and "dir" give the same names. */
  copy = malloc(length + 1);
  if (copy == NULL) {
    fprintf(stderr, "%s: out of memory\n", CLI_PROGRAM);
    return -1;
  }
  memcpy(copy, path, length + 1);
  while (length > 1 && copy[length - 1] == '/') copy[--length] = '\0';
#if defined(_WIN32)
  status = walk(list, copy);
#else
  status = git_files(list, copy);
  if (status == 0) status = walk(list, copy);
  if (status == 1) status = 0;
#endif
  free(copy);
  if (status != 0) {
    if (status < 0) fprintf(stderr, "%s: %s: cannot list the files\n", CLI_PROGRAM, path);
    return -1;
  }
  qsort(list->files + first, list->count - first, sizeof *list->files, by_path);
  return 0;
}

void check_list_free(CheckList* list) {
  for (size_t i = 0; i < list->count; ++i) check_file_free(&list->files[i]);
  free(list->files);
  list->files = NULL;
  list->count = list->capacity = 0;
}
