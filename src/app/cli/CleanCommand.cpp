#include "app/cli/CleanCommand.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/cli/UserSettings.h"
#include "app/cli/Utf8.h"
#include "settings/Records.h"
#include "text/TextPipeline.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo clean [--style Verbatim|Clean|Professional|Casual|List] [--snippets FILE] [--json] [TEXT...]\n"
    "without --snippets, the stored snippets apply";

std::optional<std::vector<VoiceSnippet>> readSnippets(const std::string& path, std::ostream& err) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        err << "tavlo clean: cannot read snippets file: " << path << "\n";
        return std::nullopt;
    }
    try {
        const auto parsed = nlohmann::json::parse(file);
        if (!parsed.is_array()) throw nlohmann::json::type_error::create(302, "not an array", &parsed);
        return parsed.get<std::vector<VoiceSnippet>>();
    } catch (const nlohmann::json::exception&) {
        err << "tavlo clean: snippets file is not a JSON array of {\"phrase\", \"expansion\"} objects: "
            << path << "\n";
        return std::nullopt;
    }
}

}  // namespace

int runClean(const std::vector<std::string>& args, Streams streams) {
    TransformStyle style = TransformStyle::clean;
    std::optional<std::vector<VoiceSnippet>> snippets;
    bool asJson = false;
    std::vector<std::string> words;

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--style" || arg == "--snippets") {
            if (i + 1 >= args.size()) {
                streams.err << "tavlo clean: " << arg << " needs a value\n" << usage << "\n";
                return 2;
            }
            const std::string& value = args[++i];
            if (arg == "--style") {
                auto parsed = fromRawValue<TransformStyle>(value);
                if (!parsed) {
                    streams.err << "tavlo clean: unknown style \"" << value
                                << "\" (Verbatim, Clean, Professional, Casual or List)\n";
                    return 2;
                }
                style = *parsed;
            } else {
                snippets = readSnippets(value, streams.err);
                if (!snippets) return 1;
            }
        } else if (arg == "--json") {
            asJson = true;
        } else if (arg == "--help" || arg == "-h") {
            streams.out << usage << "\n";
            return 0;
        } else if (arg == "--") {
            words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg.starts_with("--")) {
            streams.err << "tavlo clean: unknown option " << arg << "\n" << usage << "\n";
            return 2;
        } else {
            words.push_back(arg);
        }
    }

    std::string text;
    if (words.empty()) {
        text.assign(std::istreambuf_iterator<char>(streams.in), std::istreambuf_iterator<char>());
    } else {
        for (const auto& word : words) {
            if (!text.empty()) text += ' ';
            text += word;
        }
    }
    if (!isValidUtf8(text)) {
        streams.err << "tavlo clean: input is not valid UTF-8\n";
        return 1;
    }

    // Without --snippets the user's own snippets apply, as in a dictation.
    if (!snippets) snippets = openUserSettings(streams.err)->store().snippets();
    const ProcessedText result = TextPipeline::process(text, style, *snippets);
    if (asJson)
        streams.out << nlohmann::json(result).dump() << "\n";
    else
        streams.out << result.text << "\n";
    return 0;
}

}  // namespace tavlo::cli
