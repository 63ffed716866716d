#pragma once
// The controller session over a pseudo-terminal to the simulated controller, with scripted
// prompts, a waiter that only counts, and a short description of every request the program
// sends ("read 8/4" table 8 with 4 bytes, "type", "version", "write 16/2", "eeprom"). The
// windows take their jobs to its runner, inline (test time) unless asked to run them on the
// session's own thread, and keep their own copy of the image.
#include "FakeTransport.h"
#include "ScriptedPrompts.h"
#include "SessionRunner.h"
#include "StartedSimulator.h"
#include "Telegram.h"

#include <QStringList>
#include <memory>

namespace kv10::test {

inline QString describeRequest(const QByteArray& frame)
{
    if (frame.size() < 9 || uint8_t(frame[0]) != StartVariable)
        return QStringLiteral("short");
    const uint8_t command = uint8_t(frame[DataUnitOffset]);
    switch (command) {
    case CmdIdentify: return QStringLiteral("type");
    case CmdVersion: return QStringLiteral("version");
    case CmdStoreEeprom: return QStringLiteral("eeprom");
    case CmdRead:
    case CmdWrite:
        return QStringLiteral("%1 %2/%3")
            .arg(command == CmdRead ? "read" : "write")
            .arg(uint8_t(frame[DataUnitOffset + 1]))
            .arg(uint8_t(frame[DataUnitOffset + 2]));
    default: return QStringLiteral("command %1").arg(command);
    }
}

struct LinkRig {
    std::unique_ptr<sim::SimulatedController> sim;
    ControllerImage image;   // the windows' copy
    QStringList requests;
    // What the rig's trace does with each frame; at first it keeps the requests. On the
    // session's thread when the jobs run there.
    HexTrace::Sink traceSink = [this](bool outgoing, const QByteArray& bytes) {
        if (outgoing)
            requests << describeRequest(bytes);
    };
    HexTrace trace{[this](bool outgoing, const QByteArray& bytes) { traceSink(outgoing, bytes); }};
    ScriptedPrompts prompts;
    CountingWaiter waiter;
    std::unique_ptr<SessionRunner> runner;

    // The session's pauses go to `pauses` (the rig's waiter unless given).
    explicit LinkRig(const sim::SimulatorOptions& options, Waiter* pauses = nullptr,
                     SessionRunner::Mode mode = SessionRunner::Mode::Inline)
    {
        QString error;
        sim = startSimulator(options, error);
        if (!sim)
            qFatal("simulator: %s", qPrintable(error));
        Waiter* sessionWaiter = pauses ? pauses : &waiter;
        runner = std::make_unique<SessionRunner>(
            [this, sessionWaiter] {
                auto session = std::make_unique<ControllerSession>(*sessionWaiter);
                session->openDevice(sim->slavePath(), QStringLiteral("COM1"));
                session->link().addTrace(&trace);
                return session;
            },
            mode);
    }
    ~LinkRig() { runner->shutdown(); }

    // The session's link, between jobs run inline.
    TelegramLink& link() { return runner->session().link(); }
};

} // namespace kv10::test
