#include "outside/savapi/clamav_messages.h"

#include <clamav.h>

namespace vz::savapi {

namespace {

thread_local MessageCapture* t_capture = nullptr;

void onMessage(enum cl_msg severity, const char* fullMessage, const char* /*message*/, void* context)
{
    // A scan hands its capture as the callback context; messages outside a scan's
    // context (loading, setting up a scan) go to the thread's capture.
    MessageCapture* capture = context ? static_cast<MessageCapture*>(context) : t_capture;
    if (severity == CL_MSG_ERROR && capture)
        capture->addError(fullMessage ? fullMessage : "");
}

} // namespace

void installMessageCapture()
{
    cl_set_clcb_msg(onMessage);
}

MessageCapture::MessageCapture() : m_previous(t_capture)
{
    t_capture = this;
    // Installed again each time: a process may hold two copies of the module (an old
    // engine and an updated one), and the callback must be one that knows this thread.
    installMessageCapture();
}

MessageCapture::~MessageCapture()
{
    t_capture = m_previous;
}

void MessageCapture::addError(std::string message)
{
    // A runaway parser must not grow this without bound.
    if (m_errors.size() < 32)
        m_errors.push_back(std::move(message));
}

} // namespace vz::savapi
