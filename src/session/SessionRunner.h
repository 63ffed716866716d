#pragma once
// The controller session's jobs. A job is one whole exchange sequence, or one live read: the
// windows hand them over, and they run one at a time in the order handed, so the line sees
// every telegram and pause as if the caller had run them itself. In the program the session
// lives on a thread of its own and the GUI thread never waits for the line; kv10ctl and the
// tests in test time run the jobs inline, on the caller's thread, through the same code.
//
// What crosses the threads: a job's closure is moved to the session's thread, and the value its
// work returns is moved back to the caller's thread and handed to its `done` there. The
// session (its port, link and controller image) is touched only by jobs, never by the caller,
// until shutdown() has returned. The caller keeps its own copy of the controller image: a job
// that sends values takes a copy of it along, and every job brings the session's image back
// with its result (see ImageJob in the core).
#include "ControllerSession.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

class QThread;

namespace kv10 {

class SessionWorker;

// Asked by a running job before each of its exchanges; set from any thread.
class StopRequest {
public:
    void request() { m_requested.store(true, std::memory_order_relaxed); }
    bool requested() const { return m_requested.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_requested{false};
};

using StopHandle = std::shared_ptr<StopRequest>;

class SessionRunner : public QObject {
    Q_OBJECT
public:
    enum class Mode { OwnThread, Inline };
    using SessionFactory = std::function<std::unique_ptr<ControllerSession>()>;

    // The session is made by `makeSession` on the thread it will live on.
    SessionRunner(const SessionFactory& makeSession, Mode mode, QObject* parent = nullptr);
    ~SessionRunner() override;

    Mode mode() const { return m_mode; }

    // Hands a job over. `work(session, stop)` runs on the session's thread after every job
    // handed before; what it returns goes to `done` on this runner's thread, unless `context`
    // is gone by then. Inline, both run before post() returns. A job that throws is reported
    // by jobFailed() instead of its `done`. The caller may make the job's stop request itself
    // (`stop`), to know it before an inline job has run: `done` can ask it, and kv10ctl's
    // Ctrl-C sets it.
    template <typename Work, typename Done>
    StopHandle post(QObject* context, Work work, Done done, StopHandle stop = {})
    {
        using Result = std::invoke_result_t<Work&, ControllerSession&, const StopRequest&>;
        if (!stop)
            stop = std::make_shared<StopRequest>();
        if constexpr (std::is_void_v<Result>) {
            enqueue(context, stop, std::move(work), std::move(done));
        } else {
            auto result = std::make_shared<std::optional<Result>>();
            enqueue(
                context, stop,
                [work = std::move(work), result](ControllerSession& session, const StopRequest& request) mutable {
                    result->emplace(work(session, request));
                },
                [done = std::move(done), result]() mutable {
                    if (*result)
                        done(std::move(**result));
                });
        }
        return stop;
    }

    // Runs `show` on this runner's thread while a job goes on (at once, inline), unless
    // `context` is gone by then: the way a job reports its progress. The guard is made on the
    // caller's thread when the job is handed over, never on the session's.
    void deliver(const QPointer<QObject>& context, std::function<void()> show);

    // Jobs handed over whose `done` has not run yet.
    int pending() const { return m_pending; }
    bool busy() const { return m_pending > 0; }

    // Stops the running job at its next exchange, drops those still waiting, closes the port
    // and ends the thread; nothing is delivered after it. Called again, it does nothing.
    void shutdown();
    bool isShutDown() const { return m_shutDown; }

    // The session itself, for the caller: inline, or once shut down (to write its settings).
    ControllerSession& session();

signals:
    void busyChanged(bool busy);
    // A job threw: the text for the error box.
    void jobFailed(const QString& text);

private:
    using Run = std::function<void(ControllerSession&, const StopRequest&)>;
    struct Job {
        Run run;
        StopHandle stop;
        std::function<void()> done;
        QPointer<QObject> context;
        bool hadContext = false;
        std::optional<QString> failure;   // what its work threw
    };
    void enqueue(QObject* context, const StopHandle& stop, Run run, std::function<void()> done);
    friend class SessionWorker;
    // On the session's thread: makes the session; the next job waiting, if any; the end.
    void makeSession();
    void runNext();
    void finish();
    // Runs a job's work; what it threw is kept in the job.
    void runGuarded(Job& job);
    // On the caller's thread: the next thing a job has to show or hand back.
    Q_INVOKABLE void showNext();
    void toCaller(std::function<void()> show);
    void jobDone(Job& job);

    Mode m_mode;
    std::unique_ptr<ControllerSession> m_session;
    QThread* m_thread = nullptr;
    SessionWorker* m_worker = nullptr;   // lives on m_thread; woken by a queued call for each job
    SessionFactory m_makeSession;
    int m_pending = 0;
    bool m_shutDown = false;
    std::atomic<bool> m_closing{false};
    // Everything that crosses the threads goes through these queues under m_mutex; the queued
    // calls that wake either thread carry nothing.
    std::mutex m_mutex;
    std::condition_variable m_sessionMade;
    std::deque<std::shared_ptr<Job>> m_waiting;        // handed over, not yet started
    std::deque<std::function<void()>> m_toCaller;      // progress and results, in order
    StopHandle m_current;                              // the stop request of the job running now
};

} // namespace kv10
