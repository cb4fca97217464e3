#include "service/mail/mail_request.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace vz::mail {

namespace {

// A manual-reset event, new for each request.
class CompletionEvent {
public:
    void set()
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
        m_changed.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_set; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set = false;
};

} // namespace

int MailRequest::run(const std::string& path)
{
    CompletionEvent completed;
    MailScanOutcome outcome;
    try {
        std::thread worker([&] {
            outcome = m_scan.scanMessage(path);
            completed.set();
        });
        completed.wait();
        worker.join();
    } catch (const std::system_error&) {
        // No thread to be had: the scan runs here, the caller waits all the same.
        outcome = m_scan.scanMessage(path);
    }
    m_outcome = std::move(outcome);
    return m_outcome.result();
}

} // namespace vz::mail
