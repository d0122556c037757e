// Linked into every program of the ThreadSanitizer build (.ci/tsan.sh), whose own
// definitions come before those of the shared libraries.
//
// Debian's Qt is not built with ThreadSanitizer, so the ordering that Qt's own
// locks give is invisible to the tool: QMutex sleeps on futexes, the posted-event
// queue is guarded by such a mutex, and QThread::wait() on a thread that has
// already finished only reads a flag. Every hand-over that relies on them (an
// event posted by a reader and delivered on the GUI thread, a queued signal, an
// object deleted after its thread was joined) would be reported as a race, in our
// code, although Qt orders it.
//
// This library tells the tool about exactly those orderings, at the points where
// our code enters Qt, and about nothing else:
//   - QMutex lock/unlock and QWaitCondition::wait are a lock and an unlock;
//   - QCoreApplication::postEvent and QMetaObject::activate (a signal, which may be
//     queued) happen before every later event delivery (QInternal's event hook);
//   - what a thread did before its last broadcast (QThread's own wake-up of its
//     waiters) happens before QThread::wait() returns for it.
// It is not built with the sanitizer itself; in a program without Qt the hooks
// only pass calls on.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <dlfcn.h>
#include <mutex>
#include <pthread.h>

extern "C" {
void __tsan_acquire(void *address) __attribute__((weak));
void __tsan_release(void *address) __attribute__((weak));
}

namespace {

// One clock for every posted event and every signal: Qt's queues are drained under
// their mutex, so whatever was posted before a delivery began is ordered before it.
// A signal delivered directly gets the same treatment, which would hide a race only
// between a thread that emits such a signal and a later delivery on another thread;
// our threads emit queued signals only.
char eventQueue;

void acquire(const void *address)
{
    if (__tsan_acquire)
        __tsan_acquire(const_cast<void *>(address));
}

void release(const void *address)
{
    if (__tsan_release)
        __tsan_release(const_cast<void *>(address));
}

template <typename F> F qtFunction(const char *name)
{
    return reinterpret_cast<F>(dlvsym(RTLD_NEXT, name, "Qt_5"));
}

using PostEvent = void (*)(QObject *, QEvent *, int);
using Activate = void (*)(QObject *, const QMetaObject *, int, void **);
using MutexCall = void (*)(QMutex *);
using MutexTryLock = bool (*)(QMutex *, int);
using ConditionWait = bool (*)(QWaitCondition *, QMutex *, QDeadlineTimer);
using ConditionWaitMs = bool (*)(QWaitCondition *, QMutex *, unsigned long);
using ThreadWait = bool (*)(QThread *, QDeadlineTimer);
using ThreadWaitMs = bool (*)(QThread *, unsigned long);
using RegisterCallback = bool (*)(QInternal::Callback, qInternalCallback);
using ThreadCreate = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);

struct Real
{
    PostEvent postEvent =
        qtFunction<PostEvent>("_ZN16QCoreApplication9postEventEP7QObjectP6QEventi");
    Activate activate = qtFunction<Activate>("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    MutexCall lock = qtFunction<MutexCall>("_ZN6QMutex4lockEv");
    MutexCall unlock = qtFunction<MutexCall>("_ZN6QMutex6unlockEv");
    MutexTryLock tryLock = qtFunction<MutexTryLock>("_ZN6QMutex7tryLockEi");
    ConditionWait conditionWait =
        qtFunction<ConditionWait>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    ConditionWaitMs conditionWaitMs =
        qtFunction<ConditionWaitMs>("_ZN14QWaitCondition4waitEP6QMutexm");
    ThreadWait threadWait = qtFunction<ThreadWait>("_ZN7QThread4waitE14QDeadlineTimer");
    ThreadWaitMs threadWaitMs = qtFunction<ThreadWaitMs>("_ZN7QThread4waitEm");
    RegisterCallback registerCallback =
        qtFunction<RegisterCallback>("_ZN9QInternal16registerCallbackENS_8CallbackEPFbPPvE");
};

const Real &real()
{
    static const Real functions;
    return functions;
}

bool beforeDelivery(void **)
{
    acquire(&eventQueue);
    return false; // the event goes on as usual
}

void hookDeliveries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (real().registerCallback)
            real().registerCallback(QInternal::EventNotifyCallback, beforeDelivery);
    });
}

void announcePost()
{
    hookDeliveries();
    release(&eventQueue);
}

struct ThreadStart
{
    void *(*routine)(void *);
    void *argument;
};

// What this thread was started with: for a QThread, the QThread itself, which is
// what QThread::wait() acquires.
thread_local void *startArgument = nullptr;

void *startThread(void *started)
{
    const ThreadStart start = *static_cast<ThreadStart *>(started);
    delete static_cast<ThreadStart *>(started);
    startArgument = start.argument;
    return start.routine(start.argument);
}

} // namespace

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attributes,
                              void *(*routine)(void *), void *argument)
{
    // Resolved on first use: a library's constructor may start a thread before ours ran.
    static const auto next = reinterpret_cast<ThreadCreate>(dlsym(RTLD_NEXT, "pthread_create"));
    auto *start = new ThreadStart{routine, argument};
    const int result = next(thread, attributes, startThread, start);
    if (result != 0)
        delete start;
    return result;
}

// A finishing QThread wakes its waiters with QWaitCondition::wakeAll, a broadcast,
// under the mutex QThread::wait() needs to return: a release right after it orders
// the whole thread, the broadcast included, before the wait (and so before a
// QThread deleted once joined frees its condition). Other broadcasts of the thread
// only release earlier.
extern "C" int pthread_cond_broadcast(pthread_cond_t *condition)
{
    static const auto next =
        reinterpret_cast<int (*)(pthread_cond_t *)>(dlsym(RTLD_NEXT, "pthread_cond_broadcast"));
    const int result = next(condition);
    if (startArgument)
        release(startArgument);
    return result;
}

void QCoreApplication::postEvent(QObject *receiver, QEvent *event, int priority)
{
    announcePost();
    real().postEvent(receiver, event, priority);
}

void QMetaObject::activate(QObject *sender, const QMetaObject *meta, int localSignalIndex,
                           void **arguments)
{
    announcePost();
    real().activate(sender, meta, localSignalIndex, arguments);
}

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    real().lock(this);
    acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    const bool locked = real().tryLock(this, timeout);
    if (locked)
        acquire(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    release(this);
    real().unlock(this);
}

bool QWaitCondition::wait(QMutex *mutex, QDeadlineTimer deadline)
{
    release(mutex);
    const bool woken = real().conditionWait(this, mutex, deadline);
    acquire(mutex);
    return woken;
}

bool QWaitCondition::wait(QMutex *mutex, unsigned long time)
{
    release(mutex);
    const bool woken = real().conditionWaitMs(this, mutex, time);
    acquire(mutex);
    return woken;
}

bool QThread::wait(QDeadlineTimer deadline)
{
    const bool finished = real().threadWait(this, deadline);
    if (finished)
        acquire(this);
    return finished;
}

bool QThread::wait(unsigned long time)
{
    const bool finished = real().threadWaitMs(this, time);
    if (finished)
        acquire(this);
    return finished;
}
