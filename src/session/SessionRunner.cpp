#include "SessionRunner.h"

#include "AppError.h"

#include <QThread>
#include <exception>

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
    m_worker = new QObject;
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    // The port and its timers belong to the thread that uses them. Nothing runs there yet, so
    // this waits only for the thread to start.
    QMetaObject::invokeMethod(m_worker, [&] { m_session = makeSession(); }, Qt::BlockingQueuedConnection);
    m_session->link().setClosingFlag(&m_closing);
}

SessionRunner::~SessionRunner()
{
    shutdown();
}

void SessionRunner::enqueue(QObject* context, const StopHandle& stop, Run run, std::function<void()> done)
{
    if (m_shutDown)
        return;
    const bool hadContext = context != nullptr;
    QPointer<QObject> guardedContext(context);
    if (++m_pending == 1)
        emit busyChanged(true);

    if (m_mode == Mode::Inline) {
        const std::optional<QString> failure = runGuarded(run, stop);
        jobDone(guardedContext, hadContext, failure, done);
        return;
    }
    QMetaObject::invokeMethod(
        m_worker,
        [this, run = std::move(run), stop, guardedContext, hadContext, done = std::move(done)] {
            if (m_closing.load())
                return;   // dropped at shutdown, undelivered
            std::optional<QString> failure = runGuarded(run, stop);
            QMetaObject::invokeMethod(
                this, [this, guardedContext, hadContext, failure, done] { jobDone(guardedContext, hadContext, failure, done); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

std::optional<QString> SessionRunner::runGuarded(const Run& run, const StopHandle& stop)
{
    {
        std::lock_guard lock(m_currentMutex);
        m_current = stop;
    }
    std::optional<QString> failure;
    try {
        run(*m_session, *stop);
    } catch (const AppError& error) {
        failure = error.text();
    } catch (const std::exception& error) {
        failure = exceptionText(error);
    }
    std::lock_guard lock(m_currentMutex);
    m_current.reset();
    return failure;
}

void SessionRunner::jobDone(const QPointer<QObject>& context, bool hadContext, const std::optional<QString>& failure,
                            const std::function<void()>& done)
{
    if (m_shutDown)
        return;
    // Not busy before `done` runs: what it shows (a box with its own event loop) leaves the
    // line free, and a job it hands over counts again.
    if (--m_pending == 0)
        emit busyChanged(false);
    if (failure) {
        emit jobFailed(*failure);
        return;
    }
    if (done && (!hadContext || context))
        done();
}

void SessionRunner::deliver(const QPointer<QObject>& context, std::function<void()> show)
{
    if (m_mode == Mode::Inline || QThread::currentThread() == thread()) {
        if (show && context)
            show();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, guardedContext = context, show = std::move(show)] {
            if (!m_shutDown && guardedContext && show)
                show();
        },
        Qt::QueuedConnection);
}

void SessionRunner::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_pending = 0;
    if (m_mode == Mode::Inline)
        return;
    m_closing.store(true);
    {
        std::lock_guard lock(m_currentMutex);
        if (m_current)
            m_current->request();
    }
    // The port closes on the thread it belongs to, after the jobs queued before have been
    // dropped; then that thread ends.
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            m_session->transport().ClosePort();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread->wait();
}

ControllerSession& SessionRunner::session()
{
    Q_ASSERT(m_mode == Mode::Inline || m_shutDown);
    return *m_session;
}
