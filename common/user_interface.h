#pragma once

#include <string_view>

namespace vz {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
// The answers carry the numbers the system's message boxes return.
enum class MessageAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// Where the logic shows a message box and waits for the answer. The windowed program
// implements it with dialogs, the command-line tools on the terminal, tests record it.
class UserInterface {
public:
    virtual ~UserInterface() = default;
    virtual MessageAnswer messageBox(std::string_view text, std::string_view caption, MessageIcon, MessageButtons) = 0;
};

} // namespace vz
