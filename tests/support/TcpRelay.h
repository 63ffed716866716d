#pragma once
// A TCP relay between a client under test and a server, on a free local port, that the test
// can hold and cut: hold() keeps what clients send inside the relay (the server sees nothing,
// new connections wait too), release() sends it on, cut() aborts every connection at once and
// forgets what was held, without either side saying goodbye. Runs on the test's event loop.
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <list>

namespace kv10::test {

class TcpRelay : public QObject {
public:
    explicit TcpRelay(int serverPort)
        : m_serverPort(quint16(serverPort))
    {
        m_listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_listener, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_listener.nextPendingConnection())
                accept(client);
        });
    }
    ~TcpRelay() override { cut(); }

    int port() const { return m_listener.serverPort(); }
    int connections() const { return int(m_pairs.size()); }

    void hold() { m_holding = true; }

    void release()
    {
        m_holding = false;
        for (Pair& pair : m_pairs)
            forward(pair);
    }

    void cut()
    {
        for (Pair& pair : m_pairs) {
            QObject::disconnect(pair.client, nullptr, this, nullptr);
            QObject::disconnect(pair.server, nullptr, this, nullptr);
            pair.client->abort();
            pair.server->abort();
            pair.client->deleteLater();
            pair.server->deleteLater();
        }
        m_pairs.clear();
    }

private:
    struct Pair {
        QTcpSocket* client;
        QTcpSocket* server;
        QByteArray held;   // from the client, not yet sent to the server
    };

    void accept(QTcpSocket* client)
    {
        auto* server = new QTcpSocket(this);
        m_pairs.push_back({client, server, {}});
        const auto pair = std::prev(m_pairs.end());
        QObject::connect(client, &QTcpSocket::readyRead, this, [this, pair] {
            pair->held += pair->client->readAll();
            forward(*pair);
        });
        QObject::connect(server, &QTcpSocket::connected, this, [this, pair] { forward(*pair); });
        QObject::connect(server, &QTcpSocket::readyRead, this, [pair] { pair->client->write(pair->server->readAll()); });
        // When one side goes, the other follows, as if the relay were not there.
        for (QTcpSocket* socket : {client, server})
            QObject::connect(socket, &QTcpSocket::disconnected, this, [this, pair] { close(pair); });
        QObject::connect(server, &QTcpSocket::errorOccurred, this, [this, pair] { close(pair); });
        forward(*pair);
    }

    void forward(Pair& pair)
    {
        if (m_holding)
            return;
        if (pair.server->state() == QAbstractSocket::UnconnectedState)
            pair.server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        if (pair.server->state() == QAbstractSocket::ConnectedState && !pair.held.isEmpty()) {
            pair.server->write(pair.held);
            pair.held.clear();
        }
    }

    void close(std::list<Pair>::iterator pair)
    {
        QObject::disconnect(pair->client, nullptr, this, nullptr);
        QObject::disconnect(pair->server, nullptr, this, nullptr);
        pair->client->disconnectFromHost();
        pair->server->disconnectFromHost();
        pair->client->deleteLater();
        pair->server->deleteLater();
        m_pairs.erase(pair);
    }

    QTcpServer m_listener;
    const quint16 m_serverPort;
    bool m_holding = false;
    std::list<Pair> m_pairs;
};

} // namespace kv10::test
