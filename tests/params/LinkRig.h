#pragma once
// A link to the simulated controller over a pseudo-terminal, with scripted prompts, a waiter
// that only counts, and a short description of every request the program sends
// ("read 8/4" table 8 with 4 bytes, "type", "version", "write 16/2", "eeprom").
#include "FakeTransport.h"
#include "ScriptedPrompts.h"
#include "SerialTransport.h"
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
    SerialTransport transport;
    ControllerImage image;
    QStringList requests;
    // What the rig's trace does with each frame; at first it keeps the requests.
    HexTrace::Sink traceSink = [this](bool outgoing, const QByteArray& bytes) {
        if (outgoing)
            requests << describeRequest(bytes);
    };
    HexTrace trace{[this](bool outgoing, const QByteArray& bytes) { traceSink(outgoing, bytes); }};
    ScriptedPrompts prompts;
    CountingWaiter waiter;
    TelegramLink link{image, waiter};

    explicit LinkRig(const sim::SimulatorOptions& options)
    {
        QString error;
        sim = startSimulator(options, error);
        if (!sim)
            qFatal("simulator: %s", qPrintable(error));
        transport.OpenPort(sim->slavePath(), QStringLiteral("COM1"), 9600);
        link.setTransport(&transport);
        link.addTrace(&trace);
    }
};

} // namespace kv10::test
