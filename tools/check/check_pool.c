/* The threads that check files. Workers take the next file from a shared
 * counter; the calling thread reports the files in list order as soon as a
 * file and every file before it are done, so the output is the same for any
 * number of threads. Each worker holds at most one library handle at a
 * time, and the command keeps the number of workers well under the
 * library's 64 handles. */
#include <stdlib.h>

#include "check/check.h"

#if defined(_WIN32)
#include <windows.h>
typedef CRITICAL_SECTION PoolMutex;
typedef CONDITION_VARIABLE PoolCond;
#define pool_mutex_init(m) InitializeCriticalSection(m)
#define pool_mutex_destroy(m) DeleteCriticalSection(m)
#define pool_lock(m) EnterCriticalSection(m)
#define pool_unlock(m) LeaveCriticalSection(m)
#define pool_cond_init(c) InitializeConditionVariable(c)
#define pool_cond_destroy(c) ((void)(c))
#define pool_wait(c, m) SleepConditionVariableCS((c), (m), INFINITE)
#define pool_signal(c) WakeAllConditionVariable(c)
#else
#include <pthread.h>
#include <unistd.h>
typedef pthread_mutex_t PoolMutex;
typedef pthread_cond_t PoolCond;
#define pool_mutex_init(m) pthread_mutex_init((m), NULL)
#define pool_mutex_destroy(m) pthread_mutex_destroy(m)
#define pool_lock(m) pthread_mutex_lock(m)
#define pool_unlock(m) pthread_mutex_unlock(m)
#define pool_cond_init(c) pthread_cond_init((c), NULL)
#define pool_cond_destroy(c) pthread_cond_destroy(c)
#define pool_wait(c, m) pthread_cond_wait((c), (m))
#define pool_signal(c) pthread_cond_broadcast(c)
#endif

typedef struct Pool {
  const CheckOptions* options;
  CheckList* list;
  PoolMutex mutex;
  PoolCond done_changed;
  size_t next;         /* the next file to take */
  unsigned char* done; /* one flag per file */
} Pool;

static void work(Pool* pool) {
  for (;;) {
    size_t index;
    pool_lock(&pool->mutex);
    index = pool->next;
    if (index < pool->list->count) ++pool->next;
    pool_unlock(&pool->mutex);
    if (index >= pool->list->count) return;
    check_one(pool->options, &pool->list->files[index]);
    pool_lock(&pool->mutex);
    pool->done[index] = 1;
    pool_signal(&pool->done_changed);
    pool_unlock(&pool->mutex);
  }
}

#if defined(_WIN32)
static DWORD WINAPI worker(LPVOID pool) {
  work(pool);
  return 0;
}
#else
static void* worker(void* pool) {
  work(pool);
  return NULL;
}
#endif

void check_run_pool(const CheckOptions* options, CheckList* list, int jobs,
                    void (*report)(const CheckFile* file, void* context), void* context) {
  Pool pool;
  int started = 0;
#if defined(_WIN32)
  HANDLE* threads = calloc((size_t)jobs, sizeof *threads);
#else
  pthread_t* threads = calloc((size_t)jobs, sizeof *threads);
#endif
  pool.options = options;
  pool.list = list;
  pool.next = 0;
  pool.done = calloc(list->count + 1, 1);
  if (pool.done == NULL || threads == NULL || jobs <= 1 || list->count <= 1) {
    /* One thread, or no memory for more: this one does the work. */
    for (size_t i = 0; i < list->count; ++i) {
      check_one(options, &list->files[i]);
      report(&list->files[i], context);
    }
    free(pool.done);
    free(threads);
    return;
  }
  pool_mutex_init(&pool.mutex);
  pool_cond_init(&pool.done_changed);
  for (int i = 0; i < jobs && (size_t)i < list->count; ++i) {
#if defined(_WIN32)
    threads[i] = CreateThread(NULL, 0, worker, &pool, 0, NULL);
    if (threads[i] == NULL) break;
#else
    if (pthread_create(&threads[i], NULL, worker, &pool) != 0) break;
#endif
    ++started;
  }
  if (started == 0) work(&pool); /* no thread at all: do it here */
  for (size_t i = 0; i < list->count; ++i) {
    pool_lock(&pool.mutex);
    while (!pool.done[i]) pool_wait(&pool.done_changed, &pool.mutex);
    pool_unlock(&pool.mutex);
    report(&list->files[i], context);
  }
  for (int i = 0; i < started; ++i) {
#if defined(_WIN32)
    WaitForSingleObject(threads[i], INFINITE);
    CloseHandle(threads[i]);
#else
    pthread_join(threads[i], NULL);
#endif
  }
  pool_cond_destroy(&pool.done_changed);
  pool_mutex_destroy(&pool.mutex);
  free(pool.done);
  free(threads);
}

int check_cpu_count(void) {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? (int)info.dwNumberOfProcessors : 1;
#else
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? (int)count : 1;
#endif
}
