#pragma once

#include "common/program_launcher.h"
#include "common/user_interface.h"

#include <string>

namespace vz {

// The mail interceptor's installer and remover, two small programs of the
// installation folder.
inline constexpr const char* MailInterceptorInstaller = "installLSP";
inline constexpr const char* MailInterceptorRemover = "uninstallLSP";

// Keeps the mail interceptor in step with the protection level: installed for level 2
// (Maximum Protection), removed for the others, every time the level is handled.
class MailProtection {
public:
    MailProtection(ProgramLauncher& launcher, UserInterface& ui, std::string appDir, std::string windowTitle);

    // Starts the installer or the remover hidden, without waiting or looking at the
    // result. When the level crosses between 2 and the others since the last call, asks
    // the user to restart the mail client.
    void ApplyMailProtection(int level);

private:
    ProgramLauncher& m_launcher;
    UserInterface& m_ui;
    std::string m_appDir;
    std::string m_windowTitle;
    int m_lastLevel = -1;
};

} // namespace vz
