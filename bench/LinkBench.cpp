// Time of the link's exchanges over a pseudo-terminal, with the simulated controller pacing
// its output like a real line, next to what the line and the protocol's waits cost anyway.
// The difference is the program's own overhead. The parameter read-out of the newest firmware
// is timed whole, through the read-out dialog and the editor it fills, and so is the record
// read-out, through the record window.
#include "ControllerRecordWindow.h"
#include "GuiStallMeter.h"
#include "ParameterEditor.h"
#include "ParameterReadoutDialog.h"
#include "Prompts.h"
#include "SerialTransport.h"
#include "SessionRunner.h"
#include "SimulatedController.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kv10;
using kv10::sim::SimulatedController;
using kv10::sim::SimulatorOptions;

namespace {

constexpr int BitsPerByte = 11;
constexpr int AnswerOverhead = VariableFrameOverhead + MinVariableLength;
constexpr int ReadRequestBytes = AnswerOverhead + BlockHeaderSize;
constexpr int RecordAnswerBytes = 64 + AnswerOverhead;
constexpr double RecordAnswerWaitMs = 270;
constexpr double RecordPauseMs = 300;

double wireMs(int bytes, int baudRate)
{
    return baudRate > 0 ? 1000.0 * bytes * BitsPerByte / baudRate : 0.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Row {
    const char* exchange;
    int baudRate;
    int runs;
    int exchangesPerRun;
    double medianMs;
    double wireMs;
    double waitsMs;
    double floorMs;     // what no program could beat: the line and the mandated waits
};

// One simulated controller on a pty, the real serial transport and the real waiter.
class Bench {
public:
    explicit Bench(int baudRate)
        : m_link(m_image, sleepWaiter())
    {
        SimulatorOptions options;
        options.addresses = {1};
        options.baudRate = baudRate;
        m_sim = std::make_unique<SimulatedController>(options);
        QString error;
        if (!m_sim->start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
            std::exit(1);
        }
        m_port.OpenPort(m_sim->slavePath(), QStringLiteral("COM1"), baudRate > 0 ? baudRate : 115200);
        m_link.setTransport(&m_port);
        m_link.SetDA(1);
        m_link.SetSA(0);
    }

    std::vector<double> time(int runs, const std::function<bool(TelegramLink&)>& exchange)
    {
        std::vector<double> ms;
        QElapsedTimer clock;
        for (int run = 0; run < runs; ++run) {
            clock.start();
            if (!exchange(m_link)) {
                std::fprintf(stderr, "exchange failed\n");
                std::exit(1);
            }
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
        return ms;
    }

    TelegramLink& link() { return m_link; }
    SerialTransport& port() { return m_port; }

private:
    ControllerImage m_image;
    std::unique_ptr<SimulatedController> m_sim;
    SerialTransport m_port;
    TelegramLink m_link;
};

bool readRecord(TelegramLink& link)
{
    for (int block = 0; block < RecordBlockCount; ++block) {
        if (!link.ReadRecordBlock(block))
            return false;
    }
    return true;
}

Row liveRow(int baudRate, int runs)
{
    Bench bench(baudRate);
    auto readLive = [](TelegramLink& link) { return link.ReadTable(TableLive); };
    bench.time(3, readLive);    // warm up
    const double wire = wireMs(ReadRequestBytes + TableLengths[TableLive] + AnswerOverhead, baudRate);
    return {"ReadTable(LIVE)", baudRate, runs, 1, median(bench.time(runs, readLive)), wire, 0, wire};
}

Row recordRow(int baudRate, int runs)
{
    Bench bench(baudRate);
    const double blockWire = wireMs(ReadRequestBytes + RecordAnswerBytes, baudRate);
    // The answer comes in during the 270 ms wait; only a longer transfer adds to it.
    const double blockFloor = std::max(blockWire, RecordAnswerWaitMs) + RecordPauseMs;
    return {"record, 16 blocks", baudRate, runs, RecordBlockCount, median(bench.time(runs, readRecord)),
            RecordBlockCount * blockWire, RecordBlockCount * (RecordAnswerWaitMs + RecordPauseMs),
            RecordBlockCount * blockFloor};
}

// Sleeps like the real waiter and adds up what it was asked to wait.
class SummingWaiter : public Waiter {
public:
    void waitMs(int ms) override
    {
        totalMs += ms;
        sleepWaiter().waitMs(ms);
    }
    void waitRest(int ms, const QElapsedTimer& since) override
    {
        totalMs += ms;
        sleepWaiter().waitRest(ms, since);
    }
    double totalMs = 0;
};

// Message boxes answered at once (the read-out shows one only when it fails).
class SilentPrompts : public Prompts {
public:
    PromptButton message(const QString&, const QString&, PromptIcon, PromptButtons, QObject*) override
    {
        ++boxes;
        return PromptButton::Ok;
    }
    QString saveFile(const FileDialogRequest&) override { return {}; }
    QString openFile(const FileDialogRequest&) override { return {}; }
    std::optional<quint32> chooseColour(quint32, QObject*) override { return std::nullopt; }
    int boxes = 0;
};

// The whole read-out of a "FW-R-09-03" controller running a RAMP program: identification,
// PROG and three program blocks, eleven pages and TIME. The floor counts every byte that
// crossed the line (both ways) at 11 bits a byte plus the 10 ms and 100 ms waits. The session
// runs inline (the GUI thread waits for the line) or on its own thread; `stallMs` is the
// longest time the GUI thread did not handle its events during a read-out.
Row readoutRow(int baudRate, int runs, SessionRunner::Mode mode, double& dialogWorkMs, double& stallMs)
{
    SimulatorOptions options;
    options.addresses = {0};
    options.deviceVersion = QStringLiteral("FW-R-09-03");
    options.baudRate = baudRate;
    SimulatedController sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        std::exit(1);
    }
    sim.modifyImage([](ControllerImage& image) { image.prog.prog = 1; });
    ControllerImage image;
    SummingWaiter waiter;
    SilentPrompts prompts;
    qint64 lineBytes = 0;
    HexTrace byteCount([&](bool, const QByteArray& bytes) { lineBytes += bytes.size(); });
    SessionRunner runner(
        [&] {
            auto session = std::make_unique<ControllerSession>(waiter);
            session->setBaudRate(baudRate);
            session->openDevice(sim.slavePath(), QStringLiteral("COM1"));
            session->link().addTrace(&byteCount);
            return session;
        },
        mode);

    ParameterEditor editor(runner, image, prompts);
    ParameterReadoutDialog dialog(editor, runner, image, prompts);
    editor.setFirmwareVariantSource([&] { return dialog.FirmwareVariant(); });

    std::vector<double> ms, floors, work, stalls;
    QElapsedTimer clock;
    for (int run = 0; run < runs; ++run) {
        // The dialog's own work before the first telegram: defaults into the editor, the
        // dialog laid out and painted.
        clock.start();
        dialog.show();
        dialog.Timer1->stop();
        dialog.repaint();
        work.push_back(clock.nsecsElapsed() / 1e6);

        lineBytes = 0;
        waiter.totalMs = 0;
        bench::GuiStallMeter stall;
        stall.start();
        clock.start();
        dialog.ReadAllParameters();
        if (runner.busy()) {
            QEventLoop reading;
            QObject::connect(&runner, &SessionRunner::busyChanged, &reading, [&reading](bool busy) {
                if (!busy)
                    reading.quit();
            });
            reading.exec();
        }
        ms.push_back(clock.nsecsElapsed() / 1e6);
        stall.stop();
        stalls.push_back(stall.longestMs());
        dialog.hide();
        if (dialog.FirmwareVariant() != 3 || prompts.boxes != 0) {
            std::fprintf(stderr, "read-out failed\n");
            std::exit(1);
        }
        floors.push_back(wireMs(int(lineBytes), baudRate) + waiter.totalMs);
    }
    dialogWorkMs = median(work);
    stallMs = *std::max_element(stalls.begin(), stalls.end());
    const double floor = median(floors);
    const char* name = mode == SessionRunner::Mode::Inline ? "read-out, FW 03" : "read-out, thread";
    return {name, baudRate, runs, 1, median(ms), floor - waiter.totalMs, waiter.totalMs, floor};
}

// The record window's read-out, its jobs run inline: ADD, RECD, the 16 blocks with the
// progress bar set before each, RECD again, and the list and plot built. Only the tables'
// transfers add to the blocks' waits.
Row recordWindowRow(int baudRate, int runs)
{
    Bench bench(baudRate);
    SilentPrompts prompts;
    SessionRunner runner(
        [&] {
            auto session = std::make_unique<ControllerSession>(sleepWaiter());
            session->link().setTransport(&bench.port());
            session->setDA(1);
            return session;
        },
        SessionRunner::Mode::Inline);
    ControllerImage shown;
    ControllerRecordWindow window(runner, shown, prompts);
    window.show();
    auto readOut = [&](TelegramLink&) {
        window.tl_cteniClick();
        return prompts.boxes == 0;
    };
    const int tableBytes = 3 * (ReadRequestBytes + AnswerOverhead) + TableLengths[TableAdd] + 2 * TableLengths[TableRecd];
    const double tablesWire = wireMs(tableBytes, baudRate);
    const double blockWire = wireMs(ReadRequestBytes + RecordAnswerBytes, baudRate);
    const double blockFloor = std::max(blockWire, RecordAnswerWaitMs) + RecordPauseMs;
    return {"record window", baudRate, runs, RecordBlockCount + 3, median(bench.time(runs, readOut)),
            tablesWire + RecordBlockCount * blockWire, RecordBlockCount * (RecordAnswerWaitMs + RecordPauseMs),
            tablesWire + RecordBlockCount * blockFloor};
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<Row> rows;
    rows.push_back(liveRow(0, 50));
    rows.push_back(liveRow(115200, 50));
    rows.push_back(liveRow(9600, 50));
    rows.push_back(recordRow(115200, 3));
    rows.push_back(recordRow(9600, 1));
    rows.push_back(recordWindowRow(9600, 3));
    const Row recordWindow = rows.back();
    double dialogWorkMs = 0;
    double inlineStallMs = 0;
    double threadStallMs = 0;
    rows.push_back(readoutRow(9600, 5, SessionRunner::Mode::Inline, dialogWorkMs, inlineStallMs));
    const Row readoutInline = rows.back();
    rows.push_back(readoutRow(9600, 5, SessionRunner::Mode::OwnThread, dialogWorkMs, threadStallMs));

    std::printf("Link over a pseudo-terminal, simulated controller pacing at 11 bits per byte\n\n");
    std::printf("%-18s %7s %5s %11s %9s %9s %9s %10s %14s\n", "exchange", "baud", "runs", "median ms",
                "wire ms", "waits ms", "floor ms", "overhead", "per exchange");
    for (const Row& row : rows) {
        const double overhead = row.medianMs - row.floorMs;
        const QString baud = row.baudRate > 0 ? QString::number(row.baudRate) : QStringLiteral("none");
        std::printf("%-18s %7s %5d %11.3f %9.3f %9.1f %9.3f %10.3f %14.3f\n", row.exchange, qPrintable(baud),
                    row.runs, row.medianMs, row.wireMs, row.waitsMs, row.floorMs, overhead,
                    overhead / row.exchangesPerRun);
    }
    std::printf("\nfloor: the wire time of request and answer plus the waits the protocol mandates "
                "(a record block's answer arrives during its 270 ms wait);\noverhead = median - floor, "
                "the time spent in the program (and the simulator) itself.\n");
    const Row& readout = rows.back();
    std::printf("\nread-out at 9600 baud: %.1f %% over its floor inline, %.1f %% on the session's own thread; the "
                "dialog's own work before the first telegram (defaults, layout, paint): %.2f ms\n",
                100.0 * (readoutInline.medianMs - readoutInline.floorMs) / readoutInline.floorMs,
                100.0 * (readout.medianMs - readout.floorMs) / readout.floorMs, dialogWorkMs);
    std::printf("longest GUI stall during a read-out: %.1f ms inline, %.1f ms on the session's own thread\n",
                inlineStallMs, threadStallMs);
    std::printf("record window at 9600 baud: %.1f %% over its floor\n",
                100.0 * (recordWindow.medianMs - recordWindow.floorMs) / recordWindow.floorMs);
    return 0;
}
