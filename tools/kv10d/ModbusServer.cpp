#include "ModbusServer.h"

#include "GatewayLog.h"
#include "ModbusRequests.h"
#include "ServerSockets.h"
#include "Timing.h"

#include <modbus.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

namespace kv10::gw {

using namespace modbus;

namespace {

constexpr int ListenBacklog = 16;
constexpr uint32_t ByteTimeoutUs = 500000;   // the rest of a frame once its first byte came

struct WriteDone {
    quint64 clientId = 0;
    QString clientName;
    PendingWrite write;
    WriteOutcome outcome = WriteOutcome::Offline;
};

// Outcomes of writes on their way from whichever thread calls `done` to the server's thread,
// which its eventfd wakes; stop() wakes it the same way. Shared with every `done`, so a line
// that answers after the server has gone writes into this and nothing else.
class WriteDoneQueue {
public:
    WriteDoneQueue() : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~WriteDoneQueue()
    {
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
    }
    WriteDoneQueue(const WriteDoneQueue&) = delete;
    WriteDoneQueue& operator=(const WriteDoneQueue&) = delete;

    int wakeFd() const { return m_wakeFd; }

    void push(WriteDone done)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(done));
        }
        wake();
    }

    void wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }

    std::vector<WriteDone> take()
    {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        std::lock_guard lock(m_mutex);
        return std::exchange(m_queue, {});
    }

private:
    int m_wakeFd = -1;
    std::mutex m_mutex;
    std::vector<WriteDone> m_queue;
};

struct Client {
    quint64 id = 0;
    int socket = -1;
    QString name;               // "address:port" for the log
    uint32_t ipv4 = 0;          // 0 for an IPv6 client
    qint64 lastRequestMs = 0;   // or the connect; the idle time counts from here
    bool writing = false;       // a write waits for its line; its next request waits too
};

QString outcomeText(WriteOutcome outcome)
{
    switch (outcome) {
    case WriteOutcome::Written: return QStringLiteral("written");
    case WriteOutcome::Refused: return QStringLiteral("refused by the controller");
    case WriteOutcome::NoAnswer: return QStringLiteral("no answer");
    case WriteOutcome::Offline: return QStringLiteral("station offline");
    }
    return {};
}

} // namespace

class ModbusServer::Impl {
public:
    Impl(const ModbusSettings& settings, std::vector<int> units, SetpointWriter& writer);

    bool start(QString* error);
    void stop();
    int port() const { return m_port; }

    void updateUnit(int unit, const std::function<void(UnitView&)>& change);

private:
    void run();
    int pollTimeoutMs(qint64 nowMs) const;
    void accept();
    void receive(Client& client);
    void serve(Client& client, const QByteArray& request);
    void finishWrites();
    void send(Client& client, const QByteArray& reply);
    void closeClient(Client& client, const QString& reason);
    void closeIdleClients(qint64 nowMs);
    std::optional<UnitView> unitView(int unit);

    const ModbusSettings m_settings;
    SetpointWriter& m_writer;
    WritePolicy m_policy;

    std::mutex m_stateMutex;
    std::map<int, UnitView> m_units;

    modbus_t* m_modbus = nullptr;
    int m_listenSocket = -1;
    int m_port = 0;
    std::shared_ptr<WriteDoneQueue> m_writesDone = std::make_shared<WriteDoneQueue>();
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;

    // The server's thread only.
    std::vector<Client> m_clients;
    quint64 m_nextClientId = 1;
};

ModbusServer::Impl::Impl(const ModbusSettings& settings, std::vector<int> units, SetpointWriter& writer)
    : m_settings(settings)
    , m_writer(writer)
{
    m_policy.allowWrite = settings.allowWrite;
    for (const QString& address : settings.writeClients) {
        if (const std::optional<uint32_t> ipv4 = parseIPv4(address))
            m_policy.writeClients.push_back(*ipv4);
    }
    // A list of nothing but unreadable addresses still means "not everyone".
    if (!settings.writeClients.isEmpty() && m_policy.writeClients.empty())
        m_policy.allowWrite = false;
    for (const int unit : units)
        m_units[unit] = UnitView{};
}

bool ModbusServer::Impl::start(QString* error)
{
    if (m_thread.joinable())
        return true;
    const QString where = m_settings.host + QLatin1Char(':') + QString::number(m_settings.port);
    const auto fail = [&](int code) {
        if (error)
            *error = where + QStringLiteral(": ") + errorText(code);
        if (m_modbus) {
            modbus_free(m_modbus);
            m_modbus = nullptr;
        }
        return false;
    };
    if (m_writesDone->wakeFd() < 0)
        return fail(errno);
    const QByteArray host = m_settings.host.toUtf8();
    const QByteArray service = QByteArray::number(m_settings.port);
    m_modbus = modbus_new_tcp_pi(host.constData(), service.constData());
    if (!m_modbus)
        return fail(errno);
    modbus_set_byte_timeout(m_modbus, 0, ByteTimeoutUs);
    m_listenSocket = modbus_tcp_pi_listen(m_modbus, ListenBacklog);
    if (m_listenSocket < 0)
        return fail(errno);
    m_port = boundPort(m_listenSocket);
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    logLine(QStringLiteral("modbus: listening on %1:%2").arg(m_settings.host).arg(m_port));
    return true;
}

void ModbusServer::Impl::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    m_writesDone->wake();
    m_thread.join();
    for (Client& client : m_clients)
        closeClient(client, QStringLiteral("server stopping"));
    m_clients.clear();
    ::close(m_listenSocket);
    m_listenSocket = -1;
    modbus_set_socket(m_modbus, -1);
    modbus_free(m_modbus);
    m_modbus = nullptr;
}

void ModbusServer::Impl::updateUnit(int unit, const std::function<void(UnitView&)>& change)
{
    std::lock_guard lock(m_stateMutex);
    if (const auto it = m_units.find(unit); it != m_units.end())
        change(it->second);
}

std::optional<UnitView> ModbusServer::Impl::unitView(int unit)
{
    std::lock_guard lock(m_stateMutex);
    if (const auto it = m_units.find(unit); it != m_units.end())
        return it->second;
    return std::nullopt;
}

void ModbusServer::Impl::run()
{
    std::vector<pollfd> polled;
    std::vector<quint64> polledClients;   // the client of each pollfd after the first two
    while (!m_stopping) {
        polled.assign({{m_listenSocket, POLLIN, 0}, {m_writesDone->wakeFd(), POLLIN, 0}});
        polledClients.clear();
        for (const Client& client : m_clients) {
            if (!client.writing) {
                polled.push_back({client.socket, POLLIN, 0});
                polledClients.push_back(client.id);
            }
        }
        const int ready = ::poll(polled.data(), polled.size(), pollTimeoutMs(steadyClock().nowMs()));
        if (m_stopping)
            break;
        if (ready < 0 && errno != EINTR) {
            logLine(QStringLiteral("modbus: poll failed: ") + errorText(errno));
            break;
        }
        if (ready > 0) {
            if (polled[1].revents)
                finishWrites();
            for (size_t i = 2; i < polled.size(); ++i) {
                if (!polled[i].revents)
                    continue;
                for (Client& client : m_clients) {
                    if (client.id == polledClients[i - 2] && client.socket >= 0 && !client.writing)
                        receive(client);
                }
            }
            if (polled[0].revents)
                accept();
        }
        closeIdleClients(steadyClock().nowMs());
        std::erase_if(m_clients, [](const Client& client) { return client.socket < 0; });
    }
}

int ModbusServer::Impl::pollTimeoutMs(qint64 nowMs) const
{
    if (m_settings.idleTimeoutSeconds <= 0)
        return -1;
    const qint64 idleMs = qint64(m_settings.idleTimeoutSeconds) * 1000;
    qint64 timeout = -1;
    for (const Client& client : m_clients) {
        if (client.writing)
            continue;
        const qint64 left = std::max<qint64>(0, client.lastRequestMs + idleMs - nowMs);
        if (timeout < 0 || left < timeout)
            timeout = left;
    }
    return int(std::min<qint64>(timeout, 60 * 60 * 1000));
}

void ModbusServer::Impl::accept()
{
    int listenSocket = m_listenSocket;
    const int socket = modbus_tcp_pi_accept(m_modbus, &listenSocket);
    if (socket < 0) {
        logLine(QStringLiteral("modbus: accept failed: ") + errorText(errno));
        return;
    }
    // Replies are small; a client that does not read them is closed rather than waited for.
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    const PeerAddress peer = peerAddress(socket);
    const qsizetype connected = std::count_if(m_clients.begin(), m_clients.end(),
                                              [](const Client& client) { return client.socket >= 0; });
    if (connected >= m_settings.maxClients) {
        ::close(socket);
        logLine(QStringLiteral("modbus: client %1 closed: already %2 clients").arg(peer.name).arg(connected));
        return;
    }
    // libmodbus waits for the rest of a frame with select(), which takes no higher descriptor.
    if (socket >= FD_SETSIZE) {
        ::close(socket);
        logLine(QStringLiteral("modbus: client %1 closed: too many open files").arg(peer.name));
        return;
    }
    m_clients.push_back({m_nextClientId++, socket, peer.name, peer.ipv4, steadyClock().nowMs(), false});
    logLine(QStringLiteral("modbus: client %1 connected").arg(peer.name));
}

void ModbusServer::Impl::receive(Client& client)
{
    uint8_t frame[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_set_socket(m_modbus, client.socket);
    const int length = modbus_receive(m_modbus, frame);
    if (length < 0) {
        const int code = errno;
        if (code == ECONNRESET)
            closeClient(client, QStringLiteral("closed by the client"));
        else if (code == ETIMEDOUT)
            closeClient(client, QStringLiteral("frame cut short"));
        else
            closeClient(client, QStringLiteral("receive failed: ") + errorText(code));
        return;
    }
    client.lastRequestMs = steadyClock().nowMs();
    serve(client, QByteArray(reinterpret_cast<const char*>(frame), length));
}

void ModbusServer::Impl::serve(Client& client, const QByteArray& request)
{
    const RequestAction action = handleRequest(request, client.ipv4, m_policy,
                                               [this](int unit) { return unitView(unit); },
                                               steadyClock().nowMs());
    switch (action.kind) {
    case RequestAction::Kind::Close:
        closeClient(client, QStringLiteral("malformed frame, ") + action.note);
        return;
    case RequestAction::Kind::Reply:
        if (!action.note.isEmpty()) {
            logLine(QStringLiteral("modbus: write to unit %1 from %2 refused: %3")
                        .arg(int(uint8_t(request[6]))).arg(client.name, action.note));
        }
        send(client, action.reply);
        return;
    case RequestAction::Kind::Write: {
        client.writing = true;
        WriteDone pending{client.id, client.name, action.write, WriteOutcome::Offline};
        m_writer.writeSetpoint(action.write.unit, action.write.value,
                               [queue = m_writesDone, pending](WriteOutcome outcome) mutable {
                                   pending.outcome = outcome;
                                   queue->push(std::move(pending));
                               });
        return;
    }
    }
}

void ModbusServer::Impl::finishWrites()
{
    for (const WriteDone& done : m_writesDone->take()) {
        const PendingWrite& write = done.write;
        if (done.outcome == WriteOutcome::Written)
            updateUnit(write.unit, [&](UnitView& unit) { unit.setpoint = write.value; });
        logLine(QStringLiteral("modbus: write of %1 to unit %2 from %3: %4")
                    .arg(QString::number(write.value), QString::number(write.unit), done.clientName,
                         outcomeText(done.outcome)));
        for (Client& client : m_clients) {
            if (client.id == done.clientId && client.socket >= 0) {
                client.writing = false;
                client.lastRequestMs = steadyClock().nowMs();
                send(client, writeReply(write, done.outcome));
            }
        }
    }
}

void ModbusServer::Impl::send(Client& client, const QByteArray& reply)
{
    const ssize_t sent = ::send(client.socket, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
    if (sent < 0)
        closeClient(client, QStringLiteral("send failed: ") + errorText(errno));
    else if (sent < reply.size())
        closeClient(client, QStringLiteral("does not read its replies"));
}

void ModbusServer::Impl::closeClient(Client& client, const QString& reason)
{
    if (client.socket < 0)
        return;
    ::close(client.socket);
    client.socket = -1;
    logLine(QStringLiteral("modbus: client %1 closed: %2").arg(client.name, reason));
}

void ModbusServer::Impl::closeIdleClients(qint64 nowMs)
{
    if (m_settings.idleTimeoutSeconds <= 0)
        return;
    const qint64 idleMs = qint64(m_settings.idleTimeoutSeconds) * 1000;
    for (Client& client : m_clients) {
        if (!client.writing && nowMs - client.lastRequestMs >= idleMs)
            closeClient(client, QStringLiteral("idle for %1 s").arg(m_settings.idleTimeoutSeconds));
    }
}

ModbusServer::ModbusServer(const ModbusSettings& settings, std::vector<int> units, SetpointWriter& writer)
    : m_impl(std::make_unique<Impl>(settings, std::move(units), writer))
{
}

ModbusServer::~ModbusServer()
{
    stop();
}

bool ModbusServer::start(QString* error)
{
    return m_impl->start(error);
}

void ModbusServer::stop()
{
    m_impl->stop();
}

int ModbusServer::port() const
{
    return m_impl->port();
}

void ModbusServer::updateSample(const Sample& sample)
{
    m_impl->updateUnit(sample.da, [&](UnitView& unit) {
        unit.hasSample = true;
        unit.live = sample.live;
        unit.sampleMs = sample.monotonicMs;
    });
}

void ModbusServer::updateAvailability(int unit, bool online)
{
    m_impl->updateUnit(unit, [&](UnitView& view) { view.online = online; });
}

void ModbusServer::updateSetpoint(int unit, float setpoint)
{
    m_impl->updateUnit(unit, [&](UnitView& view) { view.setpoint = setpoint; });
}

} // namespace kv10::gw
