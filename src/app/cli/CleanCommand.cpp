#include "app/cli/CleanCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/cli/UserSettings.h"
#include "app/cli/Utf8.h"
#include "platform/linux/files/FileDescriptor.h"
#include "base/Records.h"
#include "settings/SnippetsFile.h"
#include "text/TextPipeline.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo clean [--style Verbatim|Clean|Professional|Casual|List] [--snippets FILE] [--json] [TEXT...]\n"
    "without --snippets, the stored snippets apply";

// Reads at most maximumSnippetsFileSize bytes; anything that is not a file of
// snippets (a folder, a device, text that is not the JSON expected) is refused
// with a message. A pipe is fine: `--snippets <(...)` is a shell's way of
// handing over text.
std::optional<std::vector<VoiceSnippet>> readSnippets(const std::string& path, std::ostream& err) {
    auto cannotRead = [&](int error) {
        err << "tavlo clean: cannot read snippets file: " << path << " (" << std::strerror(error) << ")\n";
        return std::nullopt;
    };
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return cannotRead(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return cannotRead(errno);
    if (S_ISDIR(info.st_mode)) {
        err << "tavlo clean: " << path << " is a folder, not a snippets file\n";
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            return cannotRead(errno);
        }
        if (count == 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.size() > maximumSnippetsFileSize) {
            err << "tavlo clean: snippets file is larger than " << maximumSnippetsFileSize / (1024 * 1024)
                << " MB: " << path << "\n";
            return std::nullopt;
        }
    }
    auto snippets = snippetsFromJson(text);
    if (!snippets)
        err << "tavlo clean: snippets file is not a JSON array of {\"phrase\", \"expansion\"} objects: " << path
            << "\n";
    return snippets;
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
