// Linked into every program of a thread-sanitizer build (KQ_SANITIZE_THREAD), nowhere else:
// what the sanitizer needs to work beside Debian's Qt, which is not built with it.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <stdarg.h>
#include <sys/types.h>
#include <time.h>

// The same function of the next library in line, which is the sanitizer's.
#define NEXT(name)                                                                                 \
    static __typeof__(name)* next_##name;                                                          \
    __typeof__(name)* next = __atomic_load_n(&next_##name, __ATOMIC_RELAXED);                      \
    if (!next) {                                                                                   \
        *(void**)&next = dlsym(RTLD_NEXT, #name);                                                  \
        __atomic_store_n(&next_##name, next, __ATOMIC_RELAXED);                                    \
    }

// tests/tsan.supp has the sanitizer leave out every call that Qt's libraries make into it
// (their copies and allocations would otherwise look like races, their own locks being
// invisible to it). Qt's waits on a thread's end (QThread::wait()) go through these, though,
// and the program relies on them: passed on from here, they are calls of the program's own,
// which the sanitizer follows.
int pthread_mutex_lock(pthread_mutex_t* m) {
    NEXT(pthread_mutex_lock)
    return next(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    NEXT(pthread_mutex_trylock)
    return next(m);
}
int pthread_mutex_unlock(pthread_mutex_t* m) {
    NEXT(pthread_mutex_unlock)
    return next(m);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    NEXT(pthread_cond_wait)
    return next(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
    NEXT(pthread_cond_timedwait)
    return next(c, m, t);
}
int pthread_cond_clockwait(pthread_cond_t* c, pthread_mutex_t* m, clockid_t clock,
                           const struct timespec* t) {
    NEXT(pthread_cond_clockwait)
    return next(c, m, clock, t);
}
int pthread_cond_signal(pthread_cond_t* c) {
    NEXT(pthread_cond_signal)
    return next(c);
}
int pthread_cond_broadcast(pthread_cond_t* c) {
    NEXT(pthread_cond_broadcast)
    return next(c);
}

// QProcess starts a program with a vfork-style clone(): the child shares the parent's memory
// until it runs the program. gcc 12's sanitizer takes every clone() for a fork and resets its
// bookkeeping from inside the child, which with shared memory is the parent's own: the
// parent then ignores its main thread from there on and dies at its next thread ("starting
// new threads after multi-threaded fork"). As the sanitizer already does for vfork() itself,
// the child gets a copy of the memory instead; the parent still waits until the child runs
// its program or ends.
int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    va_list rest;
    va_start(rest, arg);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    if ((flags & CLONE_VFORK) && !(flags & CLONE_THREAD))
        flags &= ~CLONE_VM;
    NEXT(clone)
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
