#include "common/registry.h"

#include "common/text.h"

namespace vz {

std::optional<std::pair<Hive, std::string>> splitRootKey(std::string_view fullPath)
{
    struct Root {
        std::string_view name;
        Hive hive;
    };
    static constexpr Root roots[] = {
        { "HKLM", Hive::LocalMachine },
        { "HKEY_LOCAL_MACHINE", Hive::LocalMachine },
        { "HKCU", Hive::CurrentUser },
        { "HKEY_CURRENT_USER", Hive::CurrentUser },
    };
    auto sep = fullPath.find('\\');
    auto root = fullPath.substr(0, sep);
    for (const auto& r : roots) {
        if (text::equalsIgnoreCase(root, r.name)) {
            std::string rest = sep == std::string_view::npos ? std::string {} : std::string(fullPath.substr(sep + 1));
            while (!rest.empty() && rest.back() == '\\')
                rest.pop_back();
            return std::make_pair(r.hive, rest);
        }
    }
    return std::nullopt;
}

} // namespace vz
