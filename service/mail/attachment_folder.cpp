#include "service/mail/attachment_folder.h"

#include "common/files.h"
#include "common/paths.h"
#include "common/text.h"
#include "service/mail/mail_ports.h"

#include <cerrno>
#include <filesystem>
#include <random>

namespace vz::mail {

namespace {

// Room kept for the "<n>-" that makes a name unique.
constexpr std::size_t UniquePrefixRoom = 8;
// Shortest name budget worth a folder.
constexpr std::size_t MinimumNameBytes = 24;
constexpr std::size_t MaxExtensionBytes = 16;
constexpr int CreateAttempts = 16;

std::string fitName(std::string_view name, std::size_t maxBytes)
{
    if (name.size() <= maxBytes)
        return std::string(name);
    std::string_view extension = paths::extension(name);
    if (extension.size() >= name.size() || extension.size() > MaxExtensionBytes || extension.size() >= maxBytes)
        extension = {};
    std::string_view stem = name.substr(0, name.size() - extension.size());
    std::string fitted(text::truncateUtf8(stem, maxBytes - extension.size()));
    fitted += extension;
    return fitted;
}

} // namespace

std::string safeAttachmentFileName(std::string_view attachmentName, std::size_t index, std::size_t maxBytes)
{
    std::size_t lastSeparator = attachmentName.find_last_of("/\\");
    if (lastSeparator != std::string_view::npos)
        attachmentName.remove_prefix(lastSeparator + 1);
    std::string name;
    for (char c : attachmentName) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f)
            name += c;
    }
    if (name.empty() || name == "." || name == "..")
        name = "attachment-" + std::to_string(index);
    return fitName(name, maxBytes);
}

Result<AttachmentFolder> AttachmentFolder::create(std::string_view base)
{
    std::random_device random;
    std::uniform_int_distribution<unsigned long long> digits;
    Error last = Error::withText("mkdir", std::string(base));
    for (int attempt = 0; attempt < CreateAttempts; ++attempt) {
        std::string path = paths::join(base, text::format("vzmail-%016llx", digits(random)));
        auto made = files::makeFolder(path, files::FolderAccess::Private);
        if (made)
            return AttachmentFolder(std::move(path));
        last = made.error();
        if (last.code != EEXIST)
            break;
    }
    return last;
}

AttachmentFolder::AttachmentFolder(AttachmentFolder&& other) noexcept
    : m_path(std::move(other.m_path))
{
    other.m_path.clear();
}

AttachmentFolder& AttachmentFolder::operator=(AttachmentFolder&& other) noexcept
{
    if (this != &other) {
        removeAll();
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

AttachmentFolder::~AttachmentFolder()
{
    removeAll();
}

void AttachmentFolder::removeAll()
{
    if (m_path.empty())
        return;
    // remove_all does not follow symbolic links; the folder is ours alone anyway.
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    m_path.clear();
}

Result<std::string> AttachmentFolder::pathFor(std::string_view attachmentName, std::size_t index) const
{
    std::size_t folderBytes = m_path.size() + 1;
    if (folderBytes + MinimumNameBytes > MaxEnginePathBytes)
        return Error::withText("attachment path", "folder too long for the engine: " + m_path);
    std::size_t budget = MaxEnginePathBytes - folderBytes - UniquePrefixRoom;
    std::string name = safeAttachmentFileName(attachmentName, index, budget);
    std::string path = paths::join(m_path, name);
    for (unsigned n = 1; files::exists(path); ++n) {
        if (n > 100000)
            return Error::withText("attachment path", "no free name for " + name);
        path = paths::join(m_path, std::to_string(n) + "-" + name);
    }
    return path;
}

} // namespace vz::mail
