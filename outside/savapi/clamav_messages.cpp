#include "outside/savapi/clamav_messages.h"

#include <clamav.h>

namespace vz::savapi {

namespace {

thread_local MessageCapture* t_capture = nullptr;

void onMessage(enum cl_msg severity, const char* fullMessage, const char* /*message*/, void* /*context*/)
{
    if (severity == CL_MSG_ERROR && t_capture)
        t_capture->addError(fullMessage ? fullMessage : "");
}

} // namespace

void installMessageCapture()
{
    cl_set_clcb_msg(onMessage);
}

MessageCapture::MessageCapture() : m_previous(t_capture)
{
    t_capture = this;
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
