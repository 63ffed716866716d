#pragma once
// A whole parameter set between the controller and its image: every table that the firmware
// has and the ten programs, with the pauses the controller needs between them (10 ms between
// page tables, 100 ms before every program block). Both end at the first failure, which the
// result names. Writing a table follows the station to the address ADD gives it.
#include "Sequence.h"

namespace kv10::core {

// One table written; after ADD was taken the link talks to the address just written, so that
// the following telegrams reach the controller there.
bool writeTableFollowingAddress(Sequence& sequence, int table);

// PROG, the page tables ALARM 1 to GO (COMP to ADD without programs), then the start values
// and every program's setpoints and times.
SequenceResult readSet(Sequence& sequence, int variant);
// The page tables, then the single setpoint or the programs.
SequenceResult writeSet(Sequence& sequence, int variant);

} // namespace kv10::core
