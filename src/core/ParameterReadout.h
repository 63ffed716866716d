#pragma once
// The read-out before the parameter editor opens: identification, then every table that the
// firmware has (and for firmwares with programs the program PROG names), 10 ms after each
// table, with a progress bar that ends at 100 (97 for FW-R-09-02).
#include "Identification.h"

#include <vector>

namespace kv10::core {

// The tables a read-out reads after identification, in order: 0 to 10 by number without
// programs; with them the pages ALARM 1 to GO by their tables (GO as its four-byte table 14),
// and TIME where the firmware has a clock. None for an unknown firmware.
std::vector<int> readoutTables(int variant);

// Identifies the firmware and reads what it has; `found.variant` says which. The bar's
// positions are reported: 20 with the device type, then each table's step before its read.
// Single failures do not stop the read-out.
SequenceResult readParameters(Sequence& sequence, Identification& found);

} // namespace kv10::core
