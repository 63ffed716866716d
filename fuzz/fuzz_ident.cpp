// The identification reads, which take answers of unknown length through ReadFrame.
#include "FakeTransport.h"
#include "FuzzInput.h"
#include "Telegram.h"

#include <cstring>
#include <memory>

using namespace kv10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::ScriptedInput input = fuzz::splitInput(data, size);
    fuzz::ScriptedLink scripted(input);
    TelegramLink& link = scripted.link;
    const ControllerImage* image = scripted.image.get();

    switch ((input.selector >> 1) % 4) {
    case 0: link.ReadDeviceType(); break;
    case 1: link.ReadDeviceVersion(); break;
    case 2: link.ReadForeignIdent(); break;
    default:
        link.ReadDeviceType();
        link.ReadDeviceVersion();
        link.ReadForeignIdent();
        break;
    }
    // The texts must stay terminated inside their arrays whatever arrived.
    if (!std::memchr(image->deviceTypeText.data(), 0, image->deviceTypeText.size())
        || !std::memchr(image->deviceVersionText.data(), 0, image->deviceVersionText.size())
        || !std::memchr(image->foreignIdentText.data(), 0, image->foreignIdentText.size()))
        __builtin_trap();
    return 0;
}
