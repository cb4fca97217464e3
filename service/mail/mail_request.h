#pragma once

#include "service/mail/mail_scan.h"

#include <string>

namespace vz::mail {

// The mail request of the service's main thread: runs the mail-scan thread for one
// message file and returns only when it has finished, so the interceptor's call
// returns after the scan and any rewrite are complete. One request at a time.
class MailRequest {
public:
    explicit MailRequest(MailScan& scan) : m_scan(scan) {}

    // The mail-scan thread's answer: 1 when a virus was found, else 0.
    int run(const std::string& path);

    // What the last request did.
    const MailScanOutcome& outcome() const { return m_outcome; }

private:
    MailScan& m_scan;
    MailScanOutcome m_outcome;
};

} // namespace vz::mail
