#include "app/cli/SecretCommand.h"

#include <istream>
#include <ostream>

#include "app/cli/UserSettings.h"
#include "app/cli/Utf8.h"
#include "settings/TextTrimming.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo secret set|clear|status openai-key|service-token\n"
    "  set     reads the secret from standard input and stores it\n"
    "  clear   removes it\n"
    "  status  says whether one is stored";

// Far more than any key or token; a bound so a wrong pipe cannot eat memory.
constexpr std::size_t maximumSecretSize = 64 * 1024;

struct SecretKind {
    std::optional<std::string> (SettingsStore::*read)() const;
    bool (SettingsStore::*write)(const std::optional<std::string>&);
};

std::optional<SecretKind> kindNamed(const std::string& name) {
    if (name == "openai-key") return SecretKind{&SettingsStore::openAIAPIKey, &SettingsStore::setOpenAIAPIKey};
    if (name == "service-token")
        return SecretKind{&SettingsStore::serviceAccessToken, &SettingsStore::setServiceAccessToken};
    return std::nullopt;
}

bool isStored(const std::optional<std::string>& secret) { return secret && !secret->empty(); }

std::optional<std::string> readSecretInput(std::istream& in) {
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > maximumSecretSize) return std::nullopt;
    }
    return text;
}

}  // namespace

int runSecret(const std::vector<std::string>& args, Streams streams) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        streams.out << usage << "\n";
        return 0;
    }
    const auto kind = args.size() == 3 ? kindNamed(args[2]) : std::nullopt;
    const std::string action = args.size() == 3 ? args[1] : std::string();
    if (!kind || (action != "set" && action != "clear" && action != "status")) {
        streams.err << usage << "\n";
        return 2;
    }
    const std::string& name = args[2];

    std::string secret;
    if (action == "set") {
        const auto input = readSecretInput(streams.in);
        if (!input) {
            streams.err << "tavlo secret: standard input is too long for a secret; nothing was changed\n";
            return 2;
        }
        if (!isValidUtf8(*input)) {
            streams.err << "tavlo secret: the secret is not valid UTF-8 text; nothing was changed\n";
            return 2;
        }
        secret = trimmedWhitespaceAndNewlines(*input);
        if (secret.empty()) {
            streams.err << "tavlo secret: no secret on standard input; nothing was changed "
                           "(use `tavlo secret clear "
                        << name << "` to remove it)\n";
            return 2;
        }
        if (!SettingsStore::isStorableSecret(secret)) {
            streams.err << "tavlo secret: the secret has a line break or another control character inside; "
                           "nothing was changed (a key or token is one line of text)\n";
            return 2;
        }
    }

    const auto settings = openUserSettings(streams.err);
    SettingsStore& store = settings->store();

    if (action == "status") {
        streams.out << name << ": " << (isStored((store.*kind->read)()) ? "stored" : "not stored") << "\n";
        return 0;
    }
    if (action == "clear") {
        // The store's answer counts, not a read afterwards: a secrets file
        // that is refused (a link in its place, another user's file) reads
        // as empty while the secret is still in it.
        if (!(store.*kind->write)(std::nullopt) || isStored((store.*kind->read)())) {
            streams.err << "tavlo secret: " << name
                        << " could not be removed; it may still be stored (the Secret Service refused or did "
                           "not answer, or "
                        << settings->secrets().file().path().string()
                        << " is not a file of yours that Tavlo may change)\n";
            return 1;
        }
        streams.out << name << ": cleared\n";
        return 0;
    }

    if (!(store.*kind->write)(secret) || (store.*kind->read)() != secret) {
        streams.err << "tavlo secret: " << name
                    << " could not be stored (the Secret Service refused or did not answer)\n";
        return 1;
    }
    if (settings->secrets().lastWritePlace() == SecretServiceOrFileStore::Place::file)
        streams.out << name << ": stored in " << settings->secrets().file().path().string()
                    << " (readable by you alone; no Secret Service answered)\n";
    else
        streams.out << name << ": stored in the Secret Service\n";
    return 0;
}

}  // namespace tavlo::cli
