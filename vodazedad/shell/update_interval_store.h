#pragma once

#include <string>

namespace vz {

// Where the signature-update frequency code (0 never, 1 to 8 the intervals) is kept:
// the hour field of the schedule table's update entry, which tells the service.
class UpdateIntervalStore {
public:
    virtual ~UpdateIntervalStore() = default;
    virtual int updateInterval() const = 0;
    virtual void storeUpdateInterval(int code) = 0;
};

// The frequency code's text key, which is also its English default.
const char* updateIntervalKey(int code);
// The frequency code's text in the current language.
std::string updateIntervalText(int code);

} // namespace vz
