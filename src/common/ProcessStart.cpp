#include "ProcessStart.h"

#include <csignal>

namespace kv10 {

void ignoreFileSizeLimitSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace kv10
