#include "vodazedad/scan/test_pipeline.h"

namespace vz::scan {

TestPipeline::TestPipeline(unsigned threads, Test test, Handle handle, const std::atomic<bool>& abort)
    : m_test(std::move(test))
    , m_handle(std::move(handle))
    , m_abort(abort)
    , m_window(std::max(1u, threads) * 8)
{
    for (unsigned i = 0; i < std::max(1u, threads); ++i)
        m_threads.emplace_back([this] { testLoop(); });
}

TestPipeline::~TestPipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_work.notify_all();
    for (auto& t : m_threads)
        t.join();
}

void TestPipeline::testLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        Slot* next = nullptr;
        m_work.wait(lock, [&] {
            if (m_quit)
                return true;
            for (auto& s : m_slots) {
                if (s->state == State::Waiting) {
                    next = s.get();
                    return true;
                }
            }
            return false;
        });
        if (!next)
            return; // quitting
        next->state = State::Testing;
        lock.unlock();
        // A slot is only taken off the front once done, so it stays while it is tested.
        m_test(next->file);
        lock.lock();
        next->state = State::Done;
        m_done.notify_all();
    }
}

void TestPipeline::handOn(std::unique_lock<std::mutex>& lock, bool wait)
{
    while (!m_slots.empty() && !m_stopped) {
        if (m_slots.front()->state != State::Done) {
            if (!wait)
                return;
            m_done.wait(lock, [&] { return m_slots.front()->state == State::Done; });
        }
        std::unique_ptr<Slot> front = std::move(m_slots.front());
        m_slots.pop_front();
        lock.unlock();
        m_handle(front->file);
        lock.lock();
        if (m_abort.load(std::memory_order_relaxed))
            m_stopped = true;
        if (wait && m_slots.size() < m_window)
            return;
    }
}

void TestPipeline::add(TestedFile file)
{
    std::unique_lock lock(m_mutex);
    if (m_stopped)
        return;
    while (m_slots.size() >= m_window && !m_stopped)
        handOn(lock, true);
    if (m_stopped)
        return;
    auto slot = std::make_unique<Slot>();
    slot->file = std::move(file);
    m_slots.push_back(std::move(slot));
    m_work.notify_one();
    handOn(lock, false);
}

bool TestPipeline::finish()
{
    std::unique_lock lock(m_mutex);
    while (!m_slots.empty() && !m_stopped) {
        handOn(lock, true);
    }
    if (m_stopped) {
        // What was tested ahead is dropped; files still being tested are waited for.
        m_done.wait(lock, [&] {
            for (auto& s : m_slots) {
                if (s->state == State::Testing)
                    return false;
            }
            return true;
        });
        m_slots.clear();
    }
    return m_stopped;
}

} // namespace vz::scan
