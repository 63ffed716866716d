#include "SessionRunner.h"

#include "AppError.h"

#include <QThread>
#include <exception>

namespace kv10 {

// The runner's hands on the session's thread.
class SessionWorker : public QObject {
    Q_OBJECT
public:
    explicit SessionWorker(SessionRunner& runner) : m_runner(runner) {}
    Q_INVOKABLE void makeSession() { m_runner.makeSession(); }
    Q_INVOKABLE void runNext() { m_runner.runNext(); }
    Q_INVOKABLE void finish() { m_runner.finish(); }

private:
    SessionRunner& m_runner;
};

} // namespace kv10

using namespace kv10;

SessionRunner::SessionRunner(const SessionFactory& makeSession, Mode mode, QObject* parent)
    : QObject(parent), m_mode(mode)
{
    if (m_mode == Mode::Inline) {
        m_session = makeSession();
        m_session->link().setClosingFlag(&m_closing);
        return;
    }
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("controller session"));
    m_worker = new SessionWorker(*this);
    m_worker->moveToThread(m_thread);
    m_thread->start();
    // The port and its timers belong to the thread that uses them. Nothing runs there yet, so
    // this waits only for the thread to start.
    std::unique_lock lock(m_mutex);
    m_makeSession = makeSession;
    QMetaObject::invokeMethod(m_worker, "makeSession", Qt::QueuedConnection);
    m_sessionMade.wait(lock, [this] { return m_session != nullptr; });
}

void SessionRunner::makeSession()
{
    std::lock_guard lock(m_mutex);
    m_session = m_makeSession();
    m_session->link().setClosingFlag(&m_closing);
    m_sessionMade.notify_all();
}

SessionRunner::~SessionRunner()
{
    shutdown();
}

void SessionRunner::enqueue(QObject* context, const StopHandle& stop, Run run, std::function<void()> done)
{
    if (m_shutDown)
        return;
    auto job = std::make_shared<Job>();
    job->run = std::move(run);
    job->stop = stop;
    job->done = std::move(done);
    job->context = context;
    job->hadContext = context != nullptr;
    if (++m_pending == 1)
        emit busyChanged(true);

    if (m_mode == Mode::Inline) {
        runGuarded(*job);
        jobDone(*job);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(job));
    }
    QMetaObject::invokeMethod(m_worker, "runNext", Qt::QueuedConnection);
}

void SessionRunner::runNext()
{
    std::shared_ptr<Job> job;
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.empty() || m_closing.load())
            return;   // dropped at shutdown
        job = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_current = job->stop;
    }
    runGuarded(*job);
    {
        std::lock_guard lock(m_mutex);
        m_current.reset();
    }
    toCaller([this, job] { jobDone(*job); });
}

void SessionRunner::runGuarded(Job& job)
{
    try {
        job.run(*m_session, *job.stop);
    } catch (const AppError& error) {
        job.failure = error.text();
    } catch (const std::exception& error) {
        job.failure = exceptionText(error);
    }
}

void SessionRunner::toCaller(std::function<void()> show)
{
    {
        std::lock_guard lock(m_mutex);
        m_toCaller.push_back(std::move(show));
    }
    QMetaObject::invokeMethod(this, "showNext", Qt::QueuedConnection);
}

void SessionRunner::showNext()
{
    std::function<void()> show;
    {
        std::lock_guard lock(m_mutex);
        if (m_toCaller.empty())
            return;
        show = std::move(m_toCaller.front());
        m_toCaller.pop_front();
    }
    if (!m_shutDown)
        show();
}

void SessionRunner::jobDone(Job& job)
{
    if (m_shutDown)
        return;
    // Not busy before `done` runs: what it shows (a box with its own event loop) leaves the
    // line free, and a job it hands over counts again.
    if (--m_pending == 0)
        emit busyChanged(false);
    if (job.failure) {
        emit jobFailed(*job.failure);
        return;
    }
    if (job.done && (!job.hadContext || job.context))
        job.done();
}

void SessionRunner::deliver(const QPointer<QObject>& context, std::function<void()> show)
{
    auto shown = [context, show = std::move(show)] {
        if (show && context)
            show();
    };
    if (m_mode == Mode::Inline || QThread::currentThread() == thread())
        shown();
    else
        toCaller(std::move(shown));
}

void SessionRunner::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_pending = 0;
    m_closing.store(true);
    if (m_mode == Mode::Inline)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_waiting.clear();
        if (m_current)
            m_current->request();
    }
    // The port closes on the thread it belongs to, after the job under way; then that thread ends.
    QMetaObject::invokeMethod(m_worker, "finish", Qt::QueuedConnection);
    m_thread->wait();
    std::lock_guard lock(m_mutex);
    m_toCaller.clear();
    // Its thread has ended: nothing there touches it any more.
    delete m_worker;
    m_worker = nullptr;
}

void SessionRunner::finish()
{
    std::lock_guard lock(m_mutex);
    m_session->transport().ClosePort();
    QThread::currentThread()->quit();
}

ControllerSession& SessionRunner::session()
{
    Q_ASSERT(m_mode == Mode::Inline || m_shutDown);
    std::lock_guard lock(m_mutex);
    return *m_session;
}

#include "SessionRunner.moc"
