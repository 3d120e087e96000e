#pragma once
// The style a target application calls for: mail wants a professional tone,
// chat a casual one.
#include <optional>
#include <string_view>

#include "base/Enums.h"

namespace tavlo {

// Looks at the lower-cased bundle identifier and name, joined by one space;
// absent when neither suggests a style, and the user's default applies.
std::optional<TransformStyle> styleForApplication(std::optional<std::string_view> bundleIdentifier,
                                                  std::optional<std::string_view> appName);

}  // namespace tavlo
