#pragma once
// History dates: "dd MMM HH:mm" in the user's locale and time zone. One
// formatter serves every row of the table.
#include <memory>
#include <string>
#include <string_view>

#include "base/Date.h"

namespace tavlo {

class HistoryDateFormatter {
public:
    // `timeZoneIdentifier` empty: the system's time zone.
    HistoryDateFormatter(std::string_view localeIdentifier, std::string_view timeZoneIdentifier);
    ~HistoryDateFormatter();
    HistoryDateFormatter(const HistoryDateFormatter&) = delete;
    HistoryDateFormatter& operator=(const HistoryDateFormatter&) = delete;

    // Empty when ICU could not make the formatter.
    std::string format(Date date) const;

private:
    struct Implementation;
    std::unique_ptr<Implementation> implementation_;
};

}  // namespace tavlo
