#include "service/mail/text_template.h"

namespace vz::mail {

std::string fillTemplate(std::string_view templ, std::initializer_list<std::string_view> values)
{
    std::string out;
    auto next = values.begin();
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c == '%' && i + 1 < templ.size()) {
            if (templ[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (templ[i + 1] == 's' && next != values.end()) {
                out += *next++;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace vz::mail
