#pragma once

#include "vodazedad/scan/tested_file.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vz::scan {

// Tests the files of a walk on several threads while everything that shows or
// changes anything (counts, actions, records, the observer) stays on the walk's own
// thread and in walk order, exactly as a walk on one thread does it. The engine tests
// run ahead of the walk by at most a window of files; a file is handed on only when
// every file met before it has been.
//
// The abort flag is read after each handled file; once it is set, no further file is
// handed on and what was tested ahead is dropped, as if the walk had stopped there.
class TestPipeline {
public:
    using Test = std::function<void(TestedFile&)>;   // on a test thread
    using Handle = std::function<void(TestedFile&)>; // on the walk's thread, in order

    TestPipeline(unsigned threads, Test test, Handle handle, const std::atomic<bool>& abort);
    ~TestPipeline();
    TestPipeline(const TestPipeline&) = delete;
    TestPipeline& operator=(const TestPipeline&) = delete;

    // From the walk: queues the file, and hands on what is done at the front (waiting
    // for the front when the window is full).
    void add(TestedFile file);
    // Hands on every file still queued, in order; true when the abort flag stopped it.
    bool finish();
    bool stopped() const { return m_stopped; }

private:
    enum class State { Waiting, Testing, Done };
    struct Slot {
        TestedFile file;
        State state = State::Waiting;
    };

    void testLoop();
    // Hands on the front slots that are done; with `wait`, waits for the front first.
    void handOn(std::unique_lock<std::mutex>& lock, bool wait);

    Test m_test;
    Handle m_handle;
    const std::atomic<bool>& m_abort;
    std::size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<std::unique_ptr<Slot>> m_slots;
    bool m_quit = false;
    bool m_stopped = false;
    std::vector<std::thread> m_threads;
};

} // namespace vz::scan
