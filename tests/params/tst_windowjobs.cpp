// The parameter windows with the session on its own thread, in real time: a command runs once
// however often it is clicked while it runs, and closing a window stops its job after the
// exchange in progress, with nothing more sent and nothing partial shown.
#include "IdentificationDialog.h"
#include "LinkRig.h"
#include "ParameterEditor.h"
#include "ParameterReadoutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace kv10;
using namespace kv10::test;

namespace {

struct ThreadRig : LinkRig {
    ParameterEditor editor{*runner, image, prompts};
    ParameterReadoutDialog readout{editor, *runner, image, prompts};
    IdentificationDialog identification{*runner, image, prompts};
    QString closeAt;            // the request during which the window is closed
    QDialog* closing = nullptr;
    int ended = 0;              // times the runner had nothing left to do

    explicit ThreadRig(const sim::SimulatorOptions& options)
        : LinkRig(options, nullptr, SessionRunner::Mode::OwnThread)
    {
        editor.setFirmwareVariantSource([this] { return readout.FirmwareVariant(); });
        QObject::connect(runner.get(), &SessionRunner::busyChanged, [this](bool busy) { ended += busy ? 0 : 1; });
        // On the session's thread: the window closes while the request is on the line, before
        // its answer has been read.
        traceSink = [this](bool outgoing, const QByteArray& bytes) {
            if (!outgoing)
                return;
            requests << describeRequest(bytes);
            if (closing && requests.last() == closeAt)
                QMetaObject::invokeMethod(closing, [this] { closing->close(); }, Qt::BlockingQueuedConnection);
        };
    }
    QStringList boxes() const
    {
        QStringList out;
        for (const PromptRecord& box : prompts.messages())
            out << box.caption + ": " + box.text;
        return out;
    }
    QString labels(QDialog& dialog, const char* first, const char* second) const
    {
        return dialog.findChild<QLabel*>(first)->text() + " | " + dialog.findChild<QLabel*>(second)->text();
    }
};

} // namespace

class TestWindowJobs : public QObject {
    Q_OBJECT
private slots:
    void jobOnTheSessionThread_data();
    void jobOnTheSessionThread();
};

void TestWindowJobs::jobOnTheSessionThread_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("closeAt");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("shown");   // the window's result or its lines
    const QString identify = "read 8/4 type version";
    const QString pages = "read 1/14 read 2/14 read 4/13 read 5/13 read 6/20 read 3/15 read 7/10 read 8/4 "
                          "read 9/14 read 10/3 read 14/4 read 15/7";
    QTest::newRow("Zápis clicked twice writes once") << "editor: Zápis twice" << "" << "write 4/13" << QStringList()
                                                     << "commands enabled";
    QTest::newRow("program write stopped by closing the editor")
        << "editor: program Zápis" << "write 0/40" << "write 16/2 write 0/40" << QStringList{"Komunikace: Zápis přerušen."}
        << "commands enabled";
    QTest::newRow("read-out left alone") << "read-out" << "" << identify + " read 16/2 read 0/40 " + pages << QStringList()
                                         << "result 1, variant 3";
    QTest::newRow("read-out closed at PROG: nothing more, no OK")
        << "read-out" << "read 16/2" << identify + " read 16/2" << QStringList{"Komunikace: Čtení parametrů přerušeno."}
        << "result 0, variant 0";
    QTest::newRow("identification closed at the type: lines kept")
        << "identification" << "type" << "read 8/4 type" << QStringList()
        << "Typ zařízení - neidentifikováno | Verze zařízení - neidentifikováno";
}

void TestWindowJobs::jobOnTheSessionThread()
{
    QFETCH(QString, window);
    QFETCH(QString, closeAt);
    QFETCH(QString, requests);
    QFETCH(QStringList, boxes);
    QFETCH(QString, shown);
    sim::SimulatorOptions options;
    options.deviceVersion = "FW-R-09-03";
    ThreadRig rig(options);
    rig.sim->modifyImage([](ControllerImage& image) { image.prog = {0, 2}; });
    rig.closeAt = closeAt;
    auto* write = rig.editor.findChild<QPushButton*>("tl_zapis");
    QString seen;
    if (window.startsWith("editor")) {
        rig.closing = &rig.editor;
        rig.image.prog = {1, 3};
        rig.editor.show();
        if (window.endsWith("twice")) {
            rig.editor.pageControl().setCurrentIndex(ParameterEditor::PagePid);
            // What the window system sends for a double click.
            QTest::mouseClick(write, Qt::LeftButton);
            QTest::mouseDClick(write, Qt::LeftButton);
            QTest::mouseRelease(write, Qt::LeftButton);
        } else {
            write->click();
        }
        QTRY_VERIFY(rig.ended > 0);
        const bool enabled = write->isEnabled() && rig.editor.findChild<QPushButton*>("tl_cteni")->isEnabled()
                             && rig.editor.pageControl().isEnabled();
        seen = enabled ? "commands enabled" : "commands disabled";
    } else if (window == "read-out") {
        rig.closing = &rig.readout;
        rig.readout.show();
        QTRY_VERIFY(rig.ended > 0);
        seen = QStringLiteral("result %1, variant %2").arg(rig.readout.result()).arg(rig.readout.FirmwareVariant());
    } else {
        rig.closing = &rig.identification;
        rig.identification.show();
        rig.identification.Timer1Timer();
        QTRY_VERIFY(rig.ended > 0);
        seen = rig.labels(rig.identification, "lb_zarizeni", "lb_verze");
    }
    QCOMPARE(rig.requests.join(' '), requests);
    QCOMPARE(rig.boxes(), boxes);
    QCOMPARE(seen, shown);
}

QTEST_MAIN(TestWindowJobs)
#include "tst_windowjobs.moc"
