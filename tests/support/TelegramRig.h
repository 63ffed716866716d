#pragma once
// A telegram link on a scripted transport at DA 1, SA 0, and the frames its tests expect.

#include "FakeTransport.h"
#include "ScriptedPrompts.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QMetaType>
#include <QStringList>
#include <functional>

namespace kv10::test::telegram {

using Exchange = std::function<bool(TelegramLink&)>;

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

inline uint8_t sum8(const QByteArray& bytes)
{
    return frameChecksum(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()));
}

// A data answer from station 1 to the PC: 68 L L 68 DA SA 08 data FCS 16.
inline QByteArray dataAnswer(const QByteArray& data)
{
    return dataFrame(0, 1, FcAnswerData, data);
}

inline QByteArray ack(uint8_t function = FcAckPositive)
{
    return shortFrame(0, 1, function);
}

// A request with its FCS and end delimiter appended (FCS over the bytes from offset 4).
inline QByteArray request(const char* withoutFcs)
{
    const QByteArray head = hex(withoutFcs);
    return head + char(sum8(head.mid(4))) + hex("16");
}

inline QByteArray floats(std::initializer_list<float> values)
{
    QByteArray out;
    for (float v : values) {
        uint8_t b[4];
        PutFloat(b, v);
        out.append(reinterpret_cast<const char*>(b), 4);
    }
    return out;
}

// Every table value and array of the image as bytes, to see whether anything changed.
inline QByteArray snapshot(const ControllerImage& image)
{
    QByteArray out;
    for (int t = 0; t < TableCount; ++t) {
        uint8_t bytes[256];
        out.append(reinterpret_cast<const char*>(bytes), encodeFields(tableInfo(t), image, bytes));
    }
    auto raw = [&out](const auto& array) { out.append(reinterpret_cast<const char*>(array.data()), sizeof(array)); };
    raw(image.startValue);
    raw(image.segmentSetpoint);
    raw(image.segmentTime);
    raw(image.recordValues);
    raw(image.deviceTypeText);
    raw(image.deviceVersionText);
    raw(image.foreignIdentText);
    return out;
}

// A link on a scripted transport at DA 1, SA 0, with one log for transport and waits.
struct Rig {
    QStringList log;
    ControllerImage image;
    FakeTransport transport{&log};
    CountingWaiter waiter{&log};
    ScriptedPrompts prompts;
    TelegramLink link{image, waiter};

    Rig()
    {
        link.setTransport(&transport);
        link.SetDA(1);
        link.SetSA(0);
    }
    QByteArray sent(int i = 0) const { return transport.writes.value(i).toHex(' ').toUpper(); }
};

inline const QStringList silentRead = {"write", "read 22", "wait 100", "write", "read 22", "wait 100", "write",
                                "purge out", "purge in"};

} // namespace kv10::test::telegram

Q_DECLARE_METATYPE(kv10::test::telegram::Exchange)
Q_DECLARE_METATYPE(kv10::FrameCheck)
