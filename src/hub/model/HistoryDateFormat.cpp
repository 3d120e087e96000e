#include "hub/model/HistoryDateFormat.h"

#include <memory>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace tavlo {

std::string historyDateText(Date date, std::string_view localeIdentifier, std::string_view timeZoneIdentifier) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(std::string(localeIdentifier).c_str());
    icu::SimpleDateFormat format(icu::UnicodeString(u"dd MMM HH:mm"), locale, status);
    if (U_FAILURE(status)) return {};
    if (!timeZoneIdentifier.empty()) {
        const std::string zone(timeZoneIdentifier);
        format.adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)));
    }
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch());
    icu::UnicodeString text;
    format.format(static_cast<UDate>(milliseconds.count()), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace tavlo
