#pragma once
// What every program of KV-10 sets up first thing in main().
namespace kv10 {

// A write past the file-size limit (ulimit -f) then fails with its error, as a full disk does,
// and is reported; the signal SIGXFSZ would otherwise end the program and lose what it holds.
void ignoreFileSizeLimitSignal();

} // namespace kv10
