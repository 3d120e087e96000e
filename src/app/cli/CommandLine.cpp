#include "app/cli/CommandLine.h"

#include <cstring>
#include <ostream>

#include "app/cli/CheckUpdatesCommand.h"
#include "app/cli/CleanCommand.h"
#include "app/cli/DescriptorOutput.h"
#include "app/cli/DictateCommand.h"
#include "app/cli/ModelsCommand.h"
#include "app/cli/PasteCommand.h"
#include "app/cli/SecretCommand.h"
#include "app/cli/SettingsCommand.h"
#include "app/cli/TranscribeCommand.h"
#include "updates/UpdateSources.h"

namespace tavlo::cli {

namespace {

int runNamedCommand(const std::vector<std::string>& args, Streams streams) {
    const std::string& command = args[0];
    if (command == "clean") return runClean(args, streams);
    if (command == "settings") return runSettings(args, streams);
    if (command == "secret") return runSecret(args, streams);
    if (command == "transcribe") return runTranscribe(args, streams);
    if (command == "dictate") return runDictate(args, streams);
    if (command == "paste") return runPaste(args, streams);
    if (command == "check-updates") return runCheckUpdates(args, streams);
    if (command == "models") return runModels(args, streams);
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
                       "  check-updates ask the update servers whether a newer Tavlo is published\n"
                       "  trigger       act in the running program as its trigger or a rewrite shortcut\n"
                       "                (trigger start|stop|toggle|cancel|professional|casual|list|clean)\n"
                       "  quit          ask the running program to quit\n"
                       "  models        list, download or remove Whisper models (models [download|remove NAME])\n";
        return 0;
    }
    streams.err << "tavlo: unknown command \"" << command << "\" (try tavlo --help)\n";
    return 2;
}

// A result that never reached its reader (a full disk, a closed pipe) is a
// failure, not a success with nothing to show.
int checkedOutput(int status, Streams streams) {
    streams.out.flush();
    // A command that already failed has said why (its own output errors
    // included); one message is enough.
    if (!streams.out.fail() || status != 0) return status;
    const auto* buffer = dynamic_cast<const DescriptorOutputBuffer*>(streams.out.rdbuf());
    const int error = buffer ? buffer->firstError() : 0;
    streams.err << "tavlo: could not write the output";
    if (error != 0) streams.err << " (" << std::strerror(error) << ")";
    streams.err << "\n" << std::flush;
    return 1;
}

}  // namespace

int runCommand(const std::vector<std::string>& args, Streams streams) {
    if (args.empty()) return -1;
    return checkedOutput(runNamedCommand(args, streams), streams);
}

}  // namespace tavlo::cli
