#pragma once
// The traces of one link: any number join and leave (a monitor window, a hex dump on stderr,
// a test), each told every event in the order they joined. They may join and leave from any
// thread; once remove() has returned, the trace is told nothing more.
#include "TelegramTrace.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace kv10 {

class TraceHub : public TelegramTrace {
public:
    void add(TelegramTrace* trace);          // a trace that has joined already stays once
    void remove(TelegramTrace* trace);
    bool contains(const TelegramTrace* trace) const;
    // False while nobody listens, so the link need not even make the event.
    bool isActive() const { return m_count.load(std::memory_order_relaxed) > 0; }
    void traced(const TraceEvent& event) override;

private:
    // Recursive: a trace may leave, or let another join, while it is told an event.
    mutable std::recursive_mutex m_mutex;
    std::vector<TelegramTrace*> m_traces;
    std::atomic<int> m_count{0};
};

} // namespace kv10
