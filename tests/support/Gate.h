#pragma once
// A gate one thread waits at until another opens it. On a mutex and a condition variable, which
// ThreadSanitizer sees (QSemaphore's insides it does not), and which mingw's libstdc++ wakes
// reliably (its std::binary_semaphore could miss the wake-up under Wine).
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kv10::test {

class Gate {
public:
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_open; });
    }
    // False when it stayed shut for `ms`.
    bool waitFor(int ms)
    {
        std::unique_lock lock(m_mutex);
        return m_opened.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

} // namespace kv10::test
