#pragma once
// Splits a fuzz input into a selector byte and length-prefixed answer chunks, so one input
// can script every read of an exchange and its retries.
#include "FakeTransport.h"
#include "Telegram.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kv10::fuzz {

struct ScriptedInput {
    uint8_t selector = 0;
    QList<QByteArray> chunks;
};

inline ScriptedInput splitInput(const uint8_t* data, size_t size)
{
    ScriptedInput input;
    if (size == 0)
        return input;
    input.selector = data[0];
    size_t at = 1;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        input.chunks << QByteArray(reinterpret_cast<const char*>(data + at + 1), qsizetype(length));
        at += 1 + length;
    }
    return input;
}

// A link whose every read takes the next chunk of the input; the selector's lowest bit sends
// to the broadcast address. The image is on the heap so AddressSanitizer sees overruns of it.
struct ScriptedLink {
    explicit ScriptedLink(const ScriptedInput& input)
    {
        transport.answers = input.chunks;
        link.setTransport(&transport);
        link.SetDA(uint8_t(input.selector & 0x01 ? BroadcastAddress : 1));
    }
    std::unique_ptr<ControllerImage> image = std::make_unique<ControllerImage>();
    test::CountingWaiter waiter;
    test::FakeTransport transport;
    TelegramLink link{*image, waiter};
};

} // namespace kv10::fuzz
