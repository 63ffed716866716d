#include "Identification.h"

#include "CodePage.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kv10::core {

namespace {

constexpr const char* FirmwareVersions[] = {"FW-R-09-01", "FW-R-09-02", "FW-R-09-03"};
constexpr size_t FirmwareVersionLength = 10;
constexpr int ForeignFieldBytes = 32;
constexpr int MessageBufferBytes = 255;
constexpr size_t SentenceBytes = 63;

QString textOf(const std::array<char, 250>& text)
{
    return fromWindows1250Buffer(text.data(), text.size());
}

} // namespace

int firmwareVariantOf(const char* versionText)
{
    for (int variant = 1; variant <= 3; ++variant)
        if (std::strncmp(versionText, FirmwareVersions[variant - 1], FirmwareVersionLength) == 0)
            return variant;
    return 0;
}

SequenceResult identify(Sequence& sequence, Identification& found, ForeignDevice foreign)
{
    TelegramLink& link = sequence.link();
    ControllerImage& image = sequence.image();
    found = Identification{};
    // ERRO first, as the controller expects; what it answers is not needed.
    sequence.exchange(QStringLiteral("ERRO"), [&] { return link.ReadTable(TableErro); });
    sequence.pause(TablePauseMs);
    found.typeRead = sequence.exchange(QStringLiteral("type"), [&] { return link.ReadDeviceType(); });
    sequence.pause(TablePauseMs, {IdentifiedProgress, found.typeRead ? std::optional(textOf(image.deviceTypeText)) : std::nullopt});
    found.versionRead = sequence.exchange(QStringLiteral("version"), [&] { return link.ReadDeviceVersion(); });
    if (found.versionRead)
        found.variant = firmwareVariantOf(image.deviceVersionText.data());
    if (foreign == ForeignDevice::NotAsked)
        return sequence.finish();
    sequence.pause(TablePauseMs);
    if (found.typeRead || found.versionRead)
        return sequence.finish();
    if (sequence.exchange(QStringLiteral("foreign"), [&] { return link.ReadForeignIdent(); })) {
        found.foreign = true;
        // Its third field stands for the version until a version is read again.
        image.deviceVersionText.fill(0);
        std::memcpy(image.deviceVersionText.data(), image.foreignIdentText.data() + 2 * ForeignFieldBytes,
                    ForeignFieldBytes);
    }
    return sequence.finish();
}

QString foreignDeviceMessage(const ControllerImage& image)
{
    // The fields stand at fixed places in a zeroed buffer, each behind a line break: the text
    // ends at the first zero.
    const QByteArray sentence = toWindows1250(u"Identifikováno zařízení pro které je nutné použít jiný software");
    std::array<char, MessageBufferBytes> buffer{};
    size_t at = std::min<size_t>(size_t(sentence.size()), SentenceBytes);
    std::memcpy(buffer.data(), sentence.constData(), at);
    for (int field = 0; field < 3; ++field) {
        buffer[at++] = '\r';
        std::memcpy(buffer.data() + at, image.foreignIdentText.data() + field * ForeignFieldBytes, ForeignFieldBytes);
        at += ForeignFieldBytes;
    }
    // A lone carriage return breaks no line in a Qt label.
    return fromWindows1250Buffer(buffer.data(), buffer.size()).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace kv10::core
