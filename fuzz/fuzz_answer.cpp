// Answer checking and decoding: every read or write exchange takes its answers from the input.
#include "FakeTransport.h"
#include "FuzzInput.h"
#include "Telegram.h"

#include <memory>

using namespace kv10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::ScriptedInput input = fuzz::splitInput(data, size);
    fuzz::ScriptedLink scripted(input);
    TelegramLink& link = scripted.link;

    // Out-of-range numbers are part of the input space, so they are not masked to valid ones.
    const int table = (input.selector >> 1) % 22 - 1;
    switch ((input.selector >> 6) & 0x03) {
    case 0:
        link.ReadTable(table);
        break;
    case 1:
        link.WriteTable(table);
        link.StoreToEeprom();
        link.PingStation();
        break;
    case 2:
        link.ReadProgramBlock(table % 4, table / 2, table);
        link.WriteProgramBlock(table % 4, table / 2, table);
        break;
    default:
        link.ReadRecordBlock(table - 2);
        break;
    }
    link.CheckAnswer();
    link.CheckAck();
    return 0;
}
