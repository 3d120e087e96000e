#include "app/cli/CommandLine.h"

#include <ostream>

#include "app/cli/CheckUpdatesCommand.h"
#include "app/cli/CleanCommand.h"
#include "app/cli/DictateCommand.h"
#include "app/cli/PasteCommand.h"
#include "app/cli/SecretCommand.h"
#include "app/cli/SettingsCommand.h"
#include "app/cli/TranscribeCommand.h"
#include "updates/UpdateSources.h"

namespace tavlo::cli {

int runCommand(const std::vector<std::string>& args, Streams streams) {
    if (args.empty()) return -1;
    const std::string& command = args[0];
    if (command == "clean") return runClean(args, streams);
    if (command == "settings") return runSettings(args, streams);
    if (command == "secret") return runSecret(args, streams);
    if (command == "transcribe") return runTranscribe(args, streams);
    if (command == "dictate") return runDictate(args, streams);
    if (command == "paste") return runPaste(args, streams);
    if (command == "check-updates") return runCheckUpdates(args, streams);
    if (command == "--version") {
        const auto running = runningApplicationVersion();
        streams.out << "tavlo " << running.version << " (build " << running.build << ")\n";
        return 0;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        streams.out << "usage: tavlo [COMMAND]\n"
                       "  (no command)  start the desktop program\n"
                       "  clean         run text through the transcript clean-up\n"
                       "  settings      print the settings, or change one (settings set NAME VALUE)\n"
                       "  secret        store, clear or check the OpenAI key or the service token\n"
                       "  transcribe    transcribe an audio or video file (transcribe FILE)\n"
                       "  dictate       dictate from the microphone (dictate [--seconds N] [--paste], dictate --list-microphones)\n"
                       "  paste         put text into the focused application as a dictation would (paste TEXT)\n"
                       "  check-updates ask the update servers whether a newer Tavlo is published\n";
        return 0;
    }
    streams.err << "tavlo: unknown command \"" << command << "\" (try tavlo --help)\n";
    return 2;
}

}  // namespace tavlo::cli
