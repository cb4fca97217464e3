#include "service/mail/mail_request.h"

#include <condition_variable>
#include <mutex>
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
    std::thread worker([&] {
        outcome = m_scan.scanMessage(path);
        completed.set();
    });
    completed.wait();
    worker.join();
    m_outcome = std::move(outcome);
    return m_outcome.result();
}

} // namespace vz::mail
