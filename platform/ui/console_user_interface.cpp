#include "platform/ui/console_user_interface.h"

#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

namespace vz::platform {

namespace {

struct Choice {
    char key;
    const char* label;
    MessageAnswer answer;
};

std::vector<Choice> choicesFor(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return { { 'o', "OK", MessageAnswer::Ok } };
    case MessageButtons::OkCancel: return { { 'o', "OK", MessageAnswer::Ok }, { 'c', "Cancel", MessageAnswer::Cancel } };
    case MessageButtons::YesNo: return { { 'y', "Yes", MessageAnswer::Yes }, { 'n', "No", MessageAnswer::No } };
    case MessageButtons::YesNoCancel:
        return { { 'y', "Yes", MessageAnswer::Yes }, { 'n', "No", MessageAnswer::No }, { 'c', "Cancel", MessageAnswer::Cancel } };
    case MessageButtons::RetryCancel: return { { 'r', "Retry", MessageAnswer::Retry }, { 'c', "Cancel", MessageAnswer::Cancel } };
    case MessageButtons::AbortRetryIgnore:
        return { { 'a', "Abort", MessageAnswer::Abort }, { 'r', "Retry", MessageAnswer::Retry }, { 'i', "Ignore", MessageAnswer::Ignore } };
    }
    return { { 'o', "OK", MessageAnswer::Ok } };
}

} // namespace

MessageAnswer ConsoleUserInterface::messageBox(std::string_view text, std::string_view caption, MessageIcon, MessageButtons buttons)
{
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(), static_cast<int>(text.size()), text.data());
    auto choices = choicesFor(buttons);
    if (choices.size() == 1 || !::isatty(0) || !::isatty(2))
        return choices.front().answer;
    std::string prompt;
    for (const auto& c : choices)
        prompt += std::string(prompt.empty() ? "" : ", ") + "[" + c.key + "]" + (c.label + 1);
    char line[64];
    for (;;) {
        std::fprintf(stderr, "%s? ", prompt.c_str());
        if (!std::fgets(line, sizeof line, stdin))
            return choices.front().answer;
        char key = static_cast<char>(line[0] >= 'A' && line[0] <= 'Z' ? line[0] - 'A' + 'a' : line[0]);
        for (const auto& c : choices) {
            if (key == c.key)
                return c.answer;
        }
    }
}

} // namespace vz::platform
