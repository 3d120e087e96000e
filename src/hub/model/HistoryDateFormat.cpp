#include "hub/model/HistoryDateFormat.h"

#include <chrono>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace tavlo {

struct HistoryDateFormatter::Implementation {
    std::unique_ptr<icu::SimpleDateFormat> format;
};

HistoryDateFormatter::HistoryDateFormatter(std::string_view localeIdentifier, std::string_view timeZoneIdentifier)
    : implementation_(std::make_unique<Implementation>()) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(std::string(localeIdentifier).c_str());
    auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(u"dd MMM HH:mm"), locale, status);
    if (U_FAILURE(status)) return;
    if (!timeZoneIdentifier.empty())
        format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
            icu::StringPiece(timeZoneIdentifier.data(), static_cast<int32_t>(timeZoneIdentifier.size())))));
    implementation_->format = std::move(format);
}

HistoryDateFormatter::~HistoryDateFormatter() = default;

std::string HistoryDateFormatter::format(Date date) const {
    if (!implementation_->format) return {};
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch());
    icu::UnicodeString text;
    implementation_->format->format(static_cast<UDate>(milliseconds.count()), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace tavlo
