#pragma once

#include "common/user_interface.h"

namespace vz::platform {

// Message boxes of the command-line tools: the text goes to standard error with its
// caption; questions are asked on the terminal when there is one, otherwise the first
// button's answer is taken (scripts never hang on a prompt).
class ConsoleUserInterface final : public UserInterface {
public:
    MessageAnswer messageBox(std::string_view text, std::string_view caption, MessageIcon, MessageButtons) override;
};

} // namespace vz::platform
