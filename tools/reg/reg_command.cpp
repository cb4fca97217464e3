#include "tools/reg/reg_command.h"

#include "common/text.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace vz::tools {

namespace {

struct Parsed {
    std::string verb;
    std::string key;
    std::optional<std::string> name;
    std::optional<std::string> type;
    std::optional<std::string> data;
};

RegCommandOutcome failure(int code, std::string message)
{
    return RegCommandOutcome { code, {}, "ERROR: " + message + "\n" };
}

std::optional<Parsed> parse(const std::vector<std::string>& args, std::string& problem)
{
    if (args.size() < 2) {
        problem = "Invalid syntax.";
        return std::nullopt;
    }
    Parsed p { text::toLower(args[0]), args[1], {}, {}, {} };
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::string flag = text::toLower(args[i]);
        if (flag == "/f")
            continue;
        std::optional<std::string>* slot = flag == "/v" ? &p.name : flag == "/t" ? &p.type : flag == "/d" ? &p.data : nullptr;
        if (!slot || i + 1 >= args.size()) {
            problem = "Invalid syntax: " + args[i];
            return std::nullopt;
        }
        *slot = args[++i];
    }
    return p;
}

std::string formatValue(const std::string& name, const RegValue& v)
{
    std::string typeName = v.type == RegType::Dword ? "REG_DWORD" : "REG_SZ";
    std::string data = v.type == RegType::Dword ? text::format("0x%x", v.number) : v.text;
    return "    " + name + "    " + typeName + "    " + data + "\n";
}

std::optional<std::uint32_t> parseDword(const std::string& s)
{
    if (s.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xffffffffULL || s[0] == '-')
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

} // namespace

std::string regUsage()
{
    return "Usage:\n"
           "  vodazedad-reg query KEY [/v NAME]\n"
           "  vodazedad-reg add KEY /v NAME /t REG_SZ|REG_DWORD /d DATA [/f]\n"
           "  vodazedad-reg delete KEY /v NAME [/f]\n"
           "KEY begins with HKLM\\ (the machine hive) or HKCU\\ (this user's hive).\n"
           "REG_DWORD data is decimal or 0x-prefixed hexadecimal.\n"
           "VODAZEDAD_REGISTRY_DIR, when set, names the folder holding both hives.\n";
}

RegCommandOutcome runRegCommand(Registry& registry, const std::vector<std::string>& arguments)
{
    std::string problem;
    auto parsed = parse(arguments, problem);
    if (!parsed)
        return failure(2, problem + "\n" + regUsage());
    auto root = splitRootKey(parsed->key);
    if (!root)
        return failure(2, "Invalid key name: " + parsed->key + " (begin it with HKLM\\ or HKCU\\)");
    auto [hive, path] = *root;

    if (parsed->verb == "query") {
        auto key = registry.openKey(hive, path, KeyAccess::Read);
        if (!key)
            return failure(1, "The system was unable to find the specified registry key or value.");
        RegCommandOutcome outcome;
        if (parsed->name) {
            auto v = (*key)->query(*parsed->name);
            if (!v)
                return failure(1, "The system was unable to find the specified registry key or value.");
            outcome.out = formatValue(*parsed->name, *v);
            return outcome;
        }
        for (const auto& [name, value] : (*key)->values())
            outcome.out += formatValue(name, value);
        return outcome;
    }

    if (parsed->verb == "add") {
        if (!parsed->name || !parsed->type || !parsed->data)
            return failure(2, "add needs /v NAME, /t TYPE and /d DATA.");
        RegValue value;
        if (text::equalsIgnoreCase(*parsed->type, "REG_SZ")) {
            value = RegValue::string(*parsed->data);
        } else if (text::equalsIgnoreCase(*parsed->type, "REG_DWORD")) {
            auto n = parseDword(*parsed->data);
            if (!n)
                return failure(2, "Invalid REG_DWORD data: " + *parsed->data);
            value = RegValue::dword(*n);
        } else {
            return failure(2, "Unsupported type: " + *parsed->type + " (REG_SZ or REG_DWORD)");
        }
        auto key = registry.createKey(hive, path);
        if (!key)
            return failure(1, "Access is denied: " + key.error().text());
        if (auto r = (*key)->set(*parsed->name, value); !r)
            return failure(1, "Access is denied: " + r.error().text());
        return RegCommandOutcome { 0, "The operation completed successfully.\n", {} };
    }

    if (parsed->verb == "delete") {
        if (!parsed->name)
            return failure(2, "delete needs /v NAME.");
        auto key = registry.openKey(hive, path, KeyAccess::FullAccess);
        if (!key) {
            if (key.error().code == EACCES)
                return failure(1, "Access is denied: " + key.error().text());
            return failure(1, "The system was unable to find the specified registry key or value.");
        }
        if (auto r = (*key)->remove(*parsed->name); !r) {
            if (r.error().code == ENOENT)
                return failure(1, "The system was unable to find the specified registry key or value.");
            return failure(1, "Access is denied: " + r.error().text());
        }
        return RegCommandOutcome { 0, "The operation completed successfully.\n", {} };
    }

    return failure(2, "Unknown command: " + arguments[0] + "\n" + regUsage());
}

} // namespace vz::tools
