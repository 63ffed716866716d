#pragma once
// A real Mosquitto broker for tests: /usr/sbin/mosquitto with a config written to its own temp
// dir, on a free local port, waited for until it accepts. kill() and start() again keep the
// port, so that clients reconnect to the same address.
//
//     MosquittoBroker broker;                        // anonymous, plain listener
//     MosquittoBroker::Options options;
//     options.users = {{"site", "secret"}};           // password file, anonymous refused
//     options.tls = true;                            // plus a TLS listener on tlsPort()
//     MosquittoBroker secure(options);
//     QVERIFY2(secure.start(), qPrintable(secure.error()));
//
// configure() alone gives the ports of a broker that is not there yet.
//
// With tls, the test's own CA signs a server certificate for 127.0.0.1 and a client
// certificate (caFile(), clientCertFile(), clientKeyFile()); the TLS listener requires one.
#include <QDeadlineTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace kv10::test {

struct MosquittoBrokerOptions {
    QMap<QString, QString> users;   // user -> password; empty: anonymous allowed
    bool tls = false;
};

class MosquittoBroker {
public:
    using Options = MosquittoBrokerOptions;

    explicit MosquittoBroker(Options options = {})
        : m_options(std::move(options))
    {
    }
    ~MosquittoBroker() { kill(); }
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Picks the ports and writes the config (and certificates); start() does it when not done.
    bool configure()
    {
        return m_port != 0 || prepare();
    }

    // Starts the broker (again, on the same ports) and waits until it accepts.
    bool start()
    {
        if (!configure())
            return false;
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(path("broker.log"), QIODevice::Append);
        m_process.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), path("mosquitto.conf")});
        if (!m_process.waitForStarted(5000))
            return fail(QStringLiteral("mosquitto did not start: ") + m_process.errorString());
        const QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
            if (probe.waitForConnected(200))
                return true;
            if (m_process.state() != QProcess::Running)
                break;
            QTest::qWait(20);
        }
        return fail(QStringLiteral("mosquitto does not accept on %1; see %2").arg(m_port).arg(path("broker.log")));
    }

    // SIGKILL: every connection ends at once and nothing is said to the clients.
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }
    QString error() const { return m_error; }
    QString caFile() const { return path("ca.crt"); }
    QString clientCertFile() const { return path("client.crt"); }
    QString clientKeyFile() const { return path("client.key"); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    bool fail(const QString& text)
    {
        m_error = text;
        return false;
    }

    static int freePort()
    {
        QTcpServer server;
        return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
    }

    bool run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return true;
        return fail(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ")
                    + QString::fromLocal8Bit(process.readAll()) + process.errorString());
    }

    bool write(const QString& name, const QByteArray& text)
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
            return true;
        return fail(QStringLiteral("cannot write %1").arg(file.fileName()));
    }

    // A key and a certificate signed by the CA (or by itself for the CA).
    bool makeCertificate(const QString& name, const QString& commonName, const QString& extensions)
    {
        const QString key = name + QStringLiteral(".key");
        const QString subject = QStringLiteral("/CN=") + commonName;
        const QStringList newKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key};
        if (name == QLatin1String("ca"))
            return run("openssl", QStringList{"req", "-x509", "-days", "2", "-subj", subject, "-out", "ca.crt"} + newKey);
        return write(name + QStringLiteral(".ext"), extensions.toUtf8())
            && run("openssl", QStringList{"req", "-subj", subject, "-out", name + ".csr"} + newKey)
            && run("openssl", {"x509", "-req", "-days", "2", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                               "-CAcreateserial", "-extfile", name + ".ext", "-out", name + ".crt"});
    }

    bool prepare()
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary directory"));
        m_port = freePort();
        QByteArray config = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
        if (m_options.tls) {
            m_tlsPort = freePort();
            if (!makeCertificate("ca", "kv10 test CA", {})
                || !makeCertificate("server", "localhost", "subjectAltName=IP:127.0.0.1,DNS:localhost\n")
                || !makeCertificate("client", "kv10 test client", "extendedKeyUsage=clientAuth\n"))
                return false;
            config += "listener " + QByteArray::number(m_tlsPort) + " 127.0.0.1\ncafile " + path("ca.crt").toUtf8()
                + "\ncertfile " + path("server.crt").toUtf8() + "\nkeyfile " + path("server.key").toUtf8()
                + "\nrequire_certificate true\n";
        }
        if (m_options.users.isEmpty()) {
            config += "allow_anonymous true\n";
        } else {
            for (auto user = m_options.users.cbegin(); user != m_options.users.cend(); ++user) {
                QStringList arguments{"-b", path("passwords"), user.key(), user.value()};
                if (user == m_options.users.cbegin())
                    arguments.prepend("-c");
                if (!run("mosquitto_passwd", arguments))
                    return false;
            }
            config += "allow_anonymous false\npassword_file " + path("passwords").toUtf8() + '\n';
        }
        // Started as root, mosquitto would otherwise switch to a user that cannot read the dir.
        config += "user root\n";
        return write("mosquitto.conf", config);
    }

    const Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    int m_tlsPort = 0;
    QString m_error;
};

} // namespace kv10::test
