#pragma once
// Splits a fuzz input into a selector byte and length-prefixed answer chunks, so one input
// can script every read of an exchange and its retries.
#include "FakeTransport.h"

#include <cstddef>
#include <cstdint>

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

} // namespace kv10::fuzz
