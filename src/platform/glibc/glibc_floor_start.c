/* A program's start at the glibc floor (see glibc_floor.c). Since glibc
 * 2.34 the start files (Scrt1.o) call __libc_start_main@GLIBC_2.34 with no
 * init function, because that version runs the program's constructors
 * itself. The first version, the one an older glibc has, runs only the init
 * function it is given: this local __libc_start_main passes one that does
 * what the older start files' __libc_csu_init did (_init, then the
 * .init_array). glibc 2.34 and later also take that path when init is given,
 * so the program starts the same way everywhere. Destructors need nothing:
 * every glibc runs the program's .fini_array at exit. */
#include <limits.h> /* defines __GLIBC__ on glibc */

#if defined(__linux__) && defined(__GLIBC__) && (defined(__x86_64__) || defined(__aarch64__))

#if defined(__x86_64__)
__asm__(".symver tf_old_libc_start_main,__libc_start_main@GLIBC_2.2.5");
#else
__asm__(".symver tf_old_libc_start_main,__libc_start_main@GLIBC_2.17");
#endif

typedef int (*tf_main_fn)(int, char**, char**);
typedef void (*tf_init_fn)(int, char**, char**);

int tf_old_libc_start_main(tf_main_fn main, int argc, char** argv,
                           void (*init)(int, char**, char**), void (*fini)(void),
                           void (*rtld_fini)(void), void* stack_end);

extern void _init(void);
extern tf_init_fn __init_array_start[] __attribute__((visibility("hidden")));
extern tf_init_fn __init_array_end[] __attribute__((visibility("hidden")));

static void tf_start_init(int argc, char** argv, char** envp) {
  _init();
  for (tf_init_fn* f = __init_array_start; f < __init_array_end; ++f) (*f)(argc, argv, envp);
}

int __libc_start_main(tf_main_fn main, int argc, char** argv, void (*init)(void),
                      void (*fini)(void), void (*rtld_fini)(void), void* stack_end)
    __attribute__((visibility("hidden")));
int __libc_start_main(tf_main_fn main, int argc, char** argv, void (*init)(void),
                      void (*fini)(void), void (*rtld_fini)(void), void* stack_end) {
  (void)init;
  (void)fini;
  return tf_old_libc_start_main(main, argc, argv, tf_start_init, 0, rtld_fini, stack_end);
}

#endif

/* Keeps the file a translation unit on other systems. */
typedef int tf_glibc_floor_start_file;
