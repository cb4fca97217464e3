#include "common/settings/profile.h"

namespace vz {

std::string Profile::sectionKey(std::string_view section) const
{
    return std::string(Root) + "\\" + std::string(section);
}

int Profile::readInt(std::string_view section, std::string_view name, int defaultValue) const
{
    auto key = m_registry.openKey(Hive::CurrentUser, sectionKey(section), KeyAccess::Read);
    if (!key)
        return defaultValue;
    auto value = (*key)->query(name);
    if (!value || value->type != RegType::Dword)
        return defaultValue;
    return static_cast<int>(value->number);
}

std::string Profile::readString(std::string_view section, std::string_view name, std::string_view defaultValue) const
{
    auto key = m_registry.openKey(Hive::CurrentUser, sectionKey(section), KeyAccess::Read);
    if (!key)
        return std::string(defaultValue);
    auto value = (*key)->query(name);
    if (!value || value->type != RegType::String)
        return std::string(defaultValue);
    return value->text;
}

Result<void> Profile::writeInt(std::string_view section, std::string_view name, int value)
{
    auto key = m_registry.createKey(Hive::CurrentUser, sectionKey(section));
    if (!key)
        return key.error();
    return (*key)->set(name, RegValue::dword(static_cast<std::uint32_t>(value)));
}

Result<void> Profile::writeString(std::string_view section, std::string_view name, std::string_view value)
{
    auto key = m_registry.createKey(Hive::CurrentUser, sectionKey(section));
    if (!key)
        return key.error();
    return (*key)->set(name, RegValue::string(std::string(value)));
}

} // namespace vz
