#include "ui/work_lane.h"

#include <QThread>
#include <QThreadPool>
#include <exception>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace karnwick::balance {

namespace {

// The lanes' threads, and the threads they start, run at a lower priority
// than the window's: on a busy machine the event loop then gets a core as
// soon as it has an event, and the odds take what is left.
void yieldToWindow() {
#ifdef Q_OS_WIN
    // Windows gives a thread's priority to no thread it starts: the odds'
    // own workers run at the normal one.
    QThread::currentThread()->setPriority(QThread::LowPriority);
#else
    constexpr int kWorkNiceness = 10;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkNiceness);
#endif
}

}  // namespace

WorkLane::WorkLane(QObject* owner)
    : m_owner(owner),
      m_pool(std::make_unique<QThreadPool>()),
      m_generation(std::make_shared<std::atomic<quint64>>(0)) {
    // One thread: the requests of a lane are answered in the order asked.
    m_pool->setMaxThreadCount(1);
    m_pool->setExpiryTimeout(-1);
}

WorkLane::~WorkLane() {
    cancel();
    wait();
}

void WorkLane::run(Work work) {
    const quint64 generation = ++*m_generation;
    ++m_pending;
    std::shared_ptr<std::atomic<quint64>> counter = m_generation;
    m_pool->start([this, work = std::move(work), counter, generation] {
        yieldToWindow();
        QString failure;
        // A request that throws is one failed answer, never the end of the
        // arena: the window says what went wrong and stays usable.
        try {
            work([counter, generation] { return *counter != generation; }, generation);
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        } catch (...) {
            failure = QStringLiteral("an unknown error stopped the work");
        }
        QMetaObject::invokeMethod(
            m_owner, [this, generation, failure] { finished(generation, failure); },
            Qt::QueuedConnection);
    });
}

void WorkLane::finished(quint64 generation, const QString& failure) {
    --m_pending;
    if (!failure.isEmpty() && current(generation) && m_failed) m_failed(failure);
    if (m_pending == 0 && m_idle) m_idle();
}

void WorkLane::wait() {
    m_pool->waitForDone();
}

void postIfCurrent(WorkLane& lane, quint64 generation, std::function<void()> apply) {
    QMetaObject::invokeMethod(
        lane.owner(),
        [lane = &lane, generation, apply = std::move(apply)] {
            if (lane->current(generation)) apply();
        },
        Qt::QueuedConnection);
}

}  // namespace karnwick::balance
