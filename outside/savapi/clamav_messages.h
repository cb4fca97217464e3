#pragma once

#include <string>
#include <vector>

namespace vz::savapi {

// Routes libclamav's messages away from stderr: once installed, every message goes to
// the MessageCapture active on the calling thread (libclamav works on the caller's
// thread), or nowhere.
void installMessageCapture();

// Collects the error messages libclamav logs on this thread while it lives.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    bool hasErrors() const { return !m_errors.empty(); }
    const std::vector<std::string>& errors() const { return m_errors; }
    void addError(std::string message);

private:
    MessageCapture* m_previous = nullptr;
    std::vector<std::string> m_errors;
};

} // namespace vz::savapi
