#include "vodazedad/scan/engine_session.h"

#include "common/lang/local_text.h"
#include "common/text.h"

#include <cstring>
#include <utility>

namespace vz::scan {

namespace {

// The caption of the program's own message boxes.
constexpr std::string_view MessageCaption = "Vodazedad";

// The file and temporary-file errors carry the errno of the failure as their detail
// (0 when the engine knows none): the text names that reason, not a guess at one.
std::string withReason(std::string text, int errorDetail)
{
    if (errorDetail <= 0)
        return text;
    return text + " (" + std::strerror(errorDetail) + ")";
}

} // namespace

EngineSession::EngineSession(SharedLibraryLoader& loader, UserInterface& ui, std::string installationFolder)
    : m_loader(loader)
    , m_ui(ui)
    , m_folder(std::move(installationFolder))
{
}

EngineSession::~EngineSession()
{
    stop();
}

int EngineSession::start(ShowMessage show)
{
    const engine::EnginePaths paths = engine::EnginePaths::inFolder(m_folder);
    // A second start replaces the engine: the old one goes first, so its files are free.
    stop();
    auto started = engine::ScanEngine::start(m_loader, paths);
    if (started) {
        m_engine = std::move(*started);
        m_info = m_engine->infoRecord();
        return 0;
    }
    if (show == ShowMessage::Yes) {
        const std::string message = text::format("%s (%d)\n%s", LocalText("initerror", "Error initializing AV-Engine").c_str(),
            started.error().code, paths.library.c_str());
        m_ui.messageBox(message, MessageCaption, MessageIcon::Error, MessageButtons::Ok);
    }
    return 1;
}

void EngineSession::stop()
{
    // Destroying the engine calls SAVAPI_Done and then unloads the library.
    m_engine.reset();
}

JobOptions jobOptions(const Profile& profile, int workerNumber)
{
    constexpr std::string_view Section = "Options";
    std::uint16_t options = 0;
    if (profile.readInt(Section, "Action", 0) == 0)
        options |= engine::Option::Repair;
    const int level = profile.readInt(Section, "Heuristic Level", 0);
    switch (level) {
    case 1:
        options |= engine::Option::HeuristicsHigh;
        break;
    case 2:
        options |= engine::Option::HeuristicsMedium;
        break;
    case 3:
        options |= engine::Option::HeuristicsLow;
        break;
    default:
        break;
    }
    if (level != 0) {
        if (profile.readInt(Section, "Heuristic All Macros", 0) & 1)
            options |= engine::Option::RemoveAllMacros;
        if (profile.readInt(Section, "Heuristic Macros", 1) & 1)
            options |= engine::Option::MacroHeuristics;
    }
    if (profile.readInt(Section, "Level", 0) != 0)
        options |= engine::Option::Archives;
    return JobOptions { options, text::format("avscan%.2d.tmp", workerNumber) };
}

std::string errorText(int errorCode, int errorDetail)
{
    switch (errorCode) {
    case 10:
        return LocalText("notdecrypted", "The virus could not be decrypted");
    case 22:
        return LocalText("outofmem", "Not enough memory available");
    case 23:
        return withReason(LocalText("notopened", "The file could not be opened"), errorDetail);
    case 24:
        return withReason(LocalText("readerr", "Read error in file"), errorDetail);
    case 25:
        return withReason(LocalText("writeerr", "Write error on file"), errorDetail);
    case 26:
        return withReason(LocalText("tempnotopened", "Temporary file could not be opened"), errorDetail);
    case 27:
        return withReason(LocalText("tempreaderr", "Read error on temp file"), errorDetail);
    case 28:
        return withReason(LocalText("tempwriteerr", "Write error on temporary file (out of disk space?)"), errorDetail);
    default:
        return text::format("%s %d : 0x%08x", LocalText("errcode", "errorcode:").c_str(), errorCode, static_cast<unsigned>(errorDetail));
    }
}

std::string warningText(std::uint32_t warningCode)
{
    switch (warningCode) {
    case 0x1:
        return LocalText("accdenied", "Access denied");
    case 0x80:
        return LocalText("OleDamaged", "OLE file damaged");
    case 0x100:
        return LocalText("warnmacrovirus", "The tested file may be infected by a macro virus");
    case 0x200:
        return LocalText("warndroppervirus", "The tested file may be a dropper virus");
    case 0x400:
        return LocalText("warntrojan", "The file tested may contain a Trojan Horse");
    case 0x800:
        return LocalText("warnpolymorph", "The tested file may contain polymorph macros");
    case 0x1000:
        return LocalText("warnencrypted", "The document is encrypted and cannot be tested");
    default:
        return text::format("%s : 0x%08x", LocalText("warncode", "warningcode:").c_str(), warningCode);
    }
}

} // namespace vz::scan
