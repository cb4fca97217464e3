#include "vodazedad/shell/mail_protection.h"

#include "common/lang/local_text.h"
#include "common/paths.h"

namespace vz {

MailProtection::MailProtection(ProgramLauncher& launcher, UserInterface& ui, std::string appDir, std::string windowTitle)
    : m_launcher(launcher)
    , m_ui(ui)
    , m_appDir(std::move(appDir))
    , m_windowTitle(std::move(windowTitle))
{
}

void MailProtection::ApplyMailProtection(int level)
{
    const char* program = level == 2 ? MailInterceptorInstaller : MailInterceptorRemover;
    ignoreError(m_launcher.startHidden(paths::join(m_appDir, program), {}, m_appDir),
        "the interceptor programs are not waited for; the protection level is the setting itself");
    bool crossed = m_lastLevel >= 0 && ((m_lastLevel == 2) != (level == 2));
    m_lastLevel = level;
    if (crossed) {
        m_ui.messageBox(LocalText("lspwarning", "Please restart your mail client for the changes to take effect."),
            m_windowTitle, MessageIcon::Information, MessageButtons::Ok);
    }
}

} // namespace vz
