#pragma once
// Every property of the settings store by its name, as the command line shows
// and changes it: enumerations as raw values, records in their JSON forms,
// absent values as null. Secrets are never shown, only whether one is stored.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "settings/SettingsStore.h"

namespace tavlo::cli {

// All properties in their documented order.
nlohmann::ordered_json settingsAsJson(const SettingsStore& store);

// The names `settingsAsJson` uses, in order.
const std::vector<std::string_view>& settingNames();

// A change that has been read and checked, ready to be written.
struct SettingChange {
    std::string name;
    std::function<void(SettingsStore&)> apply;
};

// Reads the text given for a property: raw values for enumerations, "true" or
// "false", JSON for records and lists, the rectangle text form for bubbleFrame,
// seconds since 2001-01-01 for lastAutomaticUpdateCheckAt; empty text removes an
// optional value. On failure `error` says why and nothing is returned.
std::optional<SettingChange> readSettingChange(std::string_view name, std::string_view value,
                                               std::string& error);

}  // namespace tavlo::cli
