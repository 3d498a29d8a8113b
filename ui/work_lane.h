#pragma once
// One kind of the Balance window's work on its own thread: a newer request
// makes every older one stale, and a stale one is skipped or stops at its
// next check. Answers come back to the window's thread in the order asked,
// and only while they are still wanted.

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QThreadPool;

namespace karnwick::balance {

class WorkLane {
  public:
    // Answers are delivered on `owner`'s thread, and dropped with it.
    explicit WorkLane(QObject* owner);
    ~WorkLane();
    WorkLane(const WorkLane&) = delete;
    WorkLane& operator=(const WorkLane&) = delete;

    using Stale = std::function<bool()>;
    using Work = std::function<void(const Stale& stale, quint64 generation)>;
    // Runs `work` on the lane's thread, after the work asked before it. What
    // it throws is caught there: while the request is current, `failed`
    // gets the message on the window's thread.
    void run(Work work);
    void cancel() { ++*m_generation; }
    void wait();
    // True while the answer of `generation` would still be wanted.
    bool current(quint64 generation) const { return *m_generation == generation; }
    quint64 generation() const { return *m_generation; }
    // True while work asked of the lane has not come back yet.
    bool busy() const { return m_pending > 0; }

    // What the window does with a request that failed, and when the lane
    // has answered everything asked of it.
    void onFailure(std::function<void(const QString&)> failed) { m_failed = std::move(failed); }
    void onIdle(std::function<void()> idle) { m_idle = std::move(idle); }

    QObject* owner() const { return m_owner; }

  private:
    void finished(quint64 generation, const QString& failure);

    QObject* m_owner;
    std::unique_ptr<QThreadPool> m_pool;
    std::shared_ptr<std::atomic<quint64>> m_generation;
    int m_pending = 0;
    std::function<void(const QString&)> m_failed;
    std::function<void()> m_idle;
};

// Runs `apply` on the window's thread when the answer of `generation` is
// still wanted by then; called from the lane's thread.
void postIfCurrent(WorkLane& lane, quint64 generation, std::function<void()> apply);

}  // namespace karnwick::balance
