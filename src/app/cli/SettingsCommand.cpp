#include "app/cli/SettingsCommand.h"

#include <ostream>

#include "app/cli/SettingsProperties.h"
#include "app/cli/UserSettings.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo settings              print every setting as JSON\n"
    "       tavlo settings set NAME VALUE\n"
    "VALUE is a raw value for choices (\"Professional\"), true or false for switches, JSON for\n"
    "lists and records, \"{{x, y}, {width, height}}\" for bubbleFrame, seconds since\n"
    "2001-01-01 UTC for lastAutomaticUpdateCheckAt; \"\" removes an optional value.";

}  // namespace

int runSettings(const std::vector<std::string>& args, Streams streams) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        streams.out << usage << "\n";
        return 0;
    }
    if (args.size() == 1) {
        const auto settings = openUserSettings(streams.err);
        streams.out << settingsAsJson(settings->store())
                           .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                    << "\n";
        return 0;
    }
    if (args[1] != "set" || args.size() != 4) {
        streams.err << usage << "\n";
        return 2;
    }

    // Read and check the value before touching anything, so a mistake changes nothing.
    std::string error;
    const auto change = readSettingChange(args[2], args[3], error);
    if (!change) {
        streams.err << "tavlo settings: " << error << "\n";
        return 2;
    }
    const auto settings = openUserSettings(streams.err);
    change->apply(settings->store());
    if (settings->preferences().keepsChangesInMemory() || settings->preferences().refusedChanges() > 0) {
        streams.err << "tavlo settings: " << change->name << " could not be saved\n";
        return 1;
    }
    return 0;
}

}  // namespace tavlo::cli
