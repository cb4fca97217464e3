#include "common/paths.h"

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

} // namespace vz::paths
