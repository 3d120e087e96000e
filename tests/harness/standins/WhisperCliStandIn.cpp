// Stands in for whisper.cpp's whisper-cli: the same options, exit statuses,
// output file and standard output as the real tool (see StandInCommon.h for
// how the model file scripts the transcript).
#include <cstdio>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "StandInCommon.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string model, input, outputBase, language = "en";
    bool writeText = false;
    bool unknownArgument = false;
    const std::set<std::string> flags{"-np", "-nt", "-otxt"};
    const std::set<std::string> withValue{"-m", "-f", "-of", "-t", "-bo", "-bs", "-l"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (withValue.count(arg) && i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (arg == "-m") model = value;
            else if (arg == "-f") input = value;
            else if (arg == "-of") outputBase = value;
            else if (arg == "-l") language = value;
        } else if (arg == "-otxt") {
            writeText = true;
        } else if (!flags.count(arg)) {
            unknownArgument = true;
        }
    }
    if (!model.empty()) standin::appendRecord(model + ".calls", {{"program", "whisper-cli"}, {"args", args}});

    // The real tool reports an unknown argument with its usage and exits 0
    // without transcribing anything.
    if (unknownArgument) {
        std::cerr << standin::usageText("whisper-cli");
        return 0;
    }
    if (input.empty() || !std::ifstream(input)) {
        std::cerr << "error: input file not found '" << input << "'\n" << standin::usageText("whisper-cli");
        return 2;
    }
    const auto script = standin::readModel(model);
    if (!script) {
        std::cerr << "whisper_init_from_file_with_params_no_state: failed to open '" << model << "'\n"
                  << "error: failed to initialize whisper context\n";
        return 3;
    }
    standin::sleepMilliseconds(script->number("load_ms", 0));
    // Progress lines come even with -np.
    std::cerr << "read_audio_data: read " << input << "\n";
    if (const int status = script->number("cli_exit", 0); status != 0) {
        std::cerr << script->text("cli_stderr") << "\n";
        return status;
    }
    const auto wav = standin::decodeWav(standin::readFile(input));
    if (!wav) {
        // The real tool reports the problem and still exits with status 0.
        std::cerr << "error: failed to read audio file '" << input << "'\n";
        return 0;
    }
    const auto segments = standin::transcribe(*script, *wav, language);
    if (writeText && !outputBase.empty()) {
        // One segment per line, without the leading space the segments carry.
        std::ofstream text(outputBase + ".txt", std::ios::binary);
        for (const auto& segment : segments) {
            const auto start = segment.find_first_not_of(' ');
            text << (start == std::string::npos ? std::string() : segment.substr(start)) << "\n";
        }
        std::cerr << "output_txt: saving output to '" << outputBase << ".txt'\n";
    }
    // With -nt: a line feed, then the segments run together, no final line feed.
    std::string out = "\n";
    for (const auto& segment : segments) out += segment;
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
