#include "service/mail/message_file.h"

#include "common/files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace vz::mail {

std::string withCrLfLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

Result<void> writeNewFile(const std::string& path, std::string_view content)
{
    // "x": exclusive creation, so a name planted in between is never written through.
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (!file)
        return Error::fromErrno("fopen", errno, path);
    auto fail = [&](Error error) -> Result<void> {
        ignoreError(files::remove(path), "the write already failed; a half-written new file is only tidied away");
        return error;
    };
    if (!content.empty() && std::fwrite(content.data(), 1, content.size(), file) != content.size()) {
        int error = errno;
        std::fclose(file);
        return fail(Error::fromErrno("fwrite", error, path));
    }
    if (std::fclose(file) != 0)
        return fail(Error::fromErrno("fclose", errno, path));
    return Success {};
}

Result<void> replaceMessageFile(const std::string& path, std::string_view content)
{
    auto original = files::status(path);
    if (!original)
        return original.error();
    const std::string temporary = path + ".TMP";
    if (files::exists(temporary))
        VZ_TRY(files::remove(temporary));

    VZ_TRY(writeNewFile(temporary, content));
    auto fail = [&](Error error) -> Result<void> {
        ignoreError(files::remove(temporary), "the rewrite already failed and the message stays as it was");
        return error;
    };

    std::error_code ec;
    std::filesystem::permissions(temporary, static_cast<std::filesystem::perms>(original->mode & 0777),
        std::filesystem::perm_options::replace, ec);
    if (ec)
        return fail(Error::fromErrno("chmod", ec.value(), temporary));
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        return fail(Error::fromErrno("rename", errno, temporary + " -> " + path));
    return Success {};
}

} // namespace vz::mail
