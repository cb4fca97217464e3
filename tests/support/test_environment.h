#pragma once

#include "common/user_interface.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vz::test {

// Sets an environment variable for a scope and restores the old value after it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// The installation folder the build assembled (build/appdir/, with a final "/").
std::string builtAppDir();
// The source tree's root (no final "/").
std::string sourceDir();
// The build tree's root (no final "/").
std::string binaryDir();

// Runs fn in a child process as an unprivileged user (nobody) when the tests run as
// root, or as this user otherwise; returns fn's answer. For checks of what a user
// without administrative rights may do.
bool runAsUnprivileged(const std::function<bool()>& fn);
bool runningAsRoot();

// A message box as a test saw it.
struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
};

// Records every message box and answers with the queued answers, then with `fallback`.
class RecordingUserInterface final : public UserInterface {
public:
    MessageAnswer messageBox(std::string_view text, std::string_view caption, MessageIcon icon, MessageButtons buttons) override
    {
        shown.push_back({ std::string(text), std::string(caption), icon, buttons });
        if (!answers.empty()) {
            auto a = answers.front();
            answers.erase(answers.begin());
            return a;
        }
        return fallback;
    }

    std::vector<ShownMessage> shown;
    std::vector<MessageAnswer> answers;
    MessageAnswer fallback = MessageAnswer::Ok;
};

} // namespace vz::test
