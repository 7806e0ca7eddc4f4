/* The library keeps one last-error message for the whole process, and
 * tf_open empties it: with several threads, a failed call's message may be
 * another thread's by the time it is read. So the calls whose message check
 * prints (tf_open, tf_save_text) pass a gate: any number at once, and a call
 * that failed is repeated alone (new calls wait, the ones in flight finish
 * first), which reads its own message. A failed open or save changed
 * nothing, so repeating it is safe. */
#include "check/check.h"

#if defined(_WIN32)
#include <windows.h>
static SRWLOCK gate_lock = SRWLOCK_INIT;
static CONDITION_VARIABLE gate_changed = CONDITION_VARIABLE_INIT;
#define gate_acquire() AcquireSRWLockExclusive(&gate_lock)
#define gate_release() ReleaseSRWLockExclusive(&gate_lock)
#define gate_wait() SleepConditionVariableSRW(&gate_changed, &gate_lock, INFINITE, 0)
#define gate_wake() WakeAllConditionVariable(&gate_changed)
#else
#include <pthread.h>
static pthread_mutex_t gate_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t gate_changed = PTHREAD_COND_INITIALIZER;
#define gate_acquire() pthread_mutex_lock(&gate_lock)
#define gate_release() pthread_mutex_unlock(&gate_lock)
#define gate_wait() pthread_cond_wait(&gate_changed, &gate_lock)
#define gate_wake() pthread_cond_broadcast(&gate_changed)
#endif

static int in_flight = 0;
static int alone = 0;

void check_gate_enter(void) {
  gate_acquire();
  while (alone) gate_wait();
  ++in_flight;
  gate_release();
}

void check_gate_leave(void) {
  gate_acquire();
  --in_flight;
  gate_wake();
  gate_release();
}

void check_gate_enter_alone(void) {
  gate_acquire();
  while (alone) gate_wait();
  alone = 1;
  while (in_flight > 0) gate_wait();
  gate_release();
}

void check_gate_leave_alone(void) {
  gate_acquire();
  alone = 0;
  gate_wake();
  gate_release();
}
