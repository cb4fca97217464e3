#pragma once

#include "common/result.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vz::mail {

// A fresh folder, owner-only, made for the attachments of one message. No other user
// can read it or put anything into it, and every file is named here, so a name from
// a mail never reaches another folder or another file. Removed with its content when
// its owner goes.
class AttachmentFolder {
public:
    // Makes a new folder with a random name inside base (which must exist).
    static Result<AttachmentFolder> create(std::string_view base);

    AttachmentFolder(AttachmentFolder&& other) noexcept;
    AttachmentFolder& operator=(AttachmentFolder&& other) noexcept;
    AttachmentFolder(const AttachmentFolder&) = delete;
    AttachmentFolder& operator=(const AttachmentFolder&) = delete;
    ~AttachmentFolder();

    const std::string& path() const { return m_path; }

    // A path in the folder for an attachment, named after it where that is safe,
    // that no file holds yet and that fits the engine's file test record. index
    // names an attachment without a usable name.
    Result<std::string> pathFor(std::string_view attachmentName, std::size_t index) const;

private:
    explicit AttachmentFolder(std::string path) : m_path(std::move(path)) {}
    void removeAll();

    std::string m_path;
};

// The file name an attachment name gives: its last path part (after "/" or "\"),
// without control characters, at most maxBytes long (keeping a short extension);
// "attachment-<index>" when nothing usable is left ("", ".", "..").
std::string safeAttachmentFileName(std::string_view attachmentName, std::size_t index, std::size_t maxBytes);

} // namespace vz::mail
