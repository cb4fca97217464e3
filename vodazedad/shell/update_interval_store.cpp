#include "vodazedad/shell/update_interval_store.h"

#include "common/lang/local_text.h"

namespace vz {

const char* updateIntervalKey(int code)
{
    static constexpr const char* keys[] = {
        "nevercheckforupdates", "every hour", "every three hours", "every six hours", "every twelve hours",
        "once a day", "every two days", "every three days", "once a week",
    };
    return code >= 0 && code <= 8 ? keys[code] : keys[0];
}

std::string updateIntervalText(int code)
{
    if (code <= 0 || code > 8)
        return LocalText("nevercheckforupdates", "Never check for Updates");
    return LocalText(updateIntervalKey(code), updateIntervalKey(code));
}

} // namespace vz
