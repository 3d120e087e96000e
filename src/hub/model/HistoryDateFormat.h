#pragma once
// History dates: "dd MMM HH:mm" in a locale and time zone.
#include <string>
#include <string_view>

#include "settings/Date.h"

namespace tavlo {

// `timeZoneIdentifier` empty: the system's time zone.
std::string historyDateText(Date date, std::string_view localeIdentifier, std::string_view timeZoneIdentifier);

}  // namespace tavlo
