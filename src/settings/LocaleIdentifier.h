#pragma once
// The user's locale as an identifier such as "de_DE", and the language code of
// an identifier.
#include <optional>
#include <string>
#include <string_view>

#include "platform/HostEnvironment.h"

namespace tavlo {

// From the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty, without
// its codeset or modifier ("de_DE.UTF-8" is "de_DE"). "C" and "POSIX", and no
// setting at all, count as "en_US".
std::string currentLocaleIdentifier(const HostEnvironment& host);

// The language code of the locale an identifier names ("en" for "en_US"); absent
// when the identifier names no language.
std::optional<std::string> languageCode(std::string_view identifier);

}  // namespace tavlo
