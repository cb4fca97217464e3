#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace vz::mail {

// Puts the values in place of the template's "%s" in order ("%%" gives "%"); any other
// "%" stays as it is. Safe for templates that come from a translation catalog.
std::string fillTemplate(std::string_view templ, std::initializer_list<std::string_view> values);

} // namespace vz::mail
