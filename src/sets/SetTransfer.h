#pragma once
// A whole parameter set between the controller and its image: identifying the firmware, then
// reading or writing every table that the firmware has and the ten programs, with the pauses
// the controller needs between them.
#include <QString>
#include <optional>

namespace kv10 {
class TelegramLink;
class Waiter;
}

namespace kv10::sets {

// 1-3 for the firmware versions "FW-R-09-01" to "FW-R-09-03" (their first ten characters),
// 0 for any other text.
int firmwareVariantOf(const char* versionText);

// ERRO, the device type and the version, as the read-out asks for them; the variant, or 0 when
// the version did not come or is unknown.
int identifyFirmware(TelegramLink& link, Waiter& waiter);

// What failed ("ALARM1", "program 3 setpoints"), or nullopt when everything went. Both stop
// at the first failure.
std::optional<QString> readSet(TelegramLink& link, Waiter& waiter, int variant);
// Each page table, then the single setpoint or the programs. After ADD the link follows the
// controller to the address just written.
std::optional<QString> writeSet(TelegramLink& link, Waiter& waiter, int variant);

} // namespace kv10::sets
