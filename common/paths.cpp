#include "common/paths.h"

#include <vector>

namespace vz::paths {

std::string join(std::string_view folder, std::string_view name)
{
    std::string out(folder);
    while (!name.empty() && name.front() == Separator)
        name.remove_prefix(1);
    if (!out.empty() && out.back() != Separator)
        out += Separator;
    out += name;
    return out;
}

std::string withTrailingSeparator(std::string_view folder)
{
    std::string out(folder);
    if (out.empty() || out.back() != Separator)
        out += Separator;
    return out;
}

std::string_view fileName(std::string_view path)
{
    auto pos = path.rfind(Separator);
    return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

std::string_view folderOf(std::string_view path)
{
    auto pos = path.rfind(Separator);
    return pos == std::string_view::npos ? std::string_view {} : path.substr(0, pos);
}

std::string_view extension(std::string_view path)
{
    auto name = fileName(path);
    auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view {} : name.substr(dot);
}

std::string absolute(std::string_view path, std::string_view base)
{
    std::string full = !path.empty() && path.front() == Separator ? std::string(path) : join(base, path);
    bool trailing = full.size() > 1 && full.back() == Separator;
    std::vector<std::string_view> parts;
    std::string_view rest = full;
    while (!rest.empty()) {
        auto pos = rest.find(Separator);
        std::string_view part = rest.substr(0, pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (pos == std::string_view::npos)
            break;
        rest.remove_prefix(pos + 1);
    }
    std::string out;
    for (auto part : parts) {
        out += Separator;
        out += part;
    }
    if (out.empty())
        return "/";
    if (trailing)
        out += Separator;
    return out;
}

} // namespace vz::paths
