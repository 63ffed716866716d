#pragma once
// Who is at the other end: ERRO, then the device type and the version with 10 ms between
// them, and for the identification dialog a device of the other family when neither answered.
#include "Sequence.h"

#include <QString>

namespace kv10::core {

// 1-3 for the firmware versions "FW-R-09-01" to "FW-R-09-03" (their first ten characters),
// 0 for any other text.
int firmwareVariantOf(const char* versionText);

// The read-out's bar once the device type has been asked for.
constexpr int IdentifiedProgress = 20;

enum class ForeignDevice { NotAsked, Asked };

struct Identification {
    bool typeRead = false;
    bool versionRead = false;
    bool foreign = false;      // a device of the other family answered; its third field is the version now
    int variant = 0;           // of the version read, 0 when none came or it is unknown
};

// What a sequence that identifies found, and how it ended: the result a window's job brings back.
struct IdentifiedResult {
    Identification found;
    SequenceResult result;
};

// The device type is reported (IdentifiedProgress, with its text when it came) within the
// pause before the version. With ForeignDevice::Asked the version is followed by a pause and,
// when neither text came, by the other family's identification.
SequenceResult identify(Sequence& sequence, Identification& found, ForeignDevice foreign);

// The message about a device of the other family: the sentence and the three 32-byte fields
// of its identification, each on a line of its own; a field shorter than 32 characters ends it.
QString foreignDeviceMessage(const ControllerImage& image);

} // namespace kv10::core
