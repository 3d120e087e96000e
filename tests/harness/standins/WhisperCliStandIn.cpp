// Stands in for whisper.cpp's whisper-cli: the same options, exit statuses,
// output file and standard output as the real tool (see StandInCommon.h for
// how the model file scripts the transcript).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "StandInCommon.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string model, input, outputBase;
    bool writeText = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "-m" && hasValue) model = args[++i];
        else if (arg == "-f" && hasValue) input = args[++i];
        else if (arg == "-of" && hasValue) outputBase = args[++i];
        else if (arg == "-otxt") writeText = true;
        else if ((arg == "-t" || arg == "-bo" || arg == "-bs" || arg == "-l") && hasValue) ++i;
        // Unknown options are ignored, as the real tool does.
    }
    if (!model.empty()) standin::appendRecord(model + ".calls", {{"program", "whisper-cli"}, {"args", args}});

    if (input.empty() || !std::ifstream(input)) {
        std::cerr << "error: input file not found '" << input << "'\n";
        return 2;
    }
    const auto script = standin::readModel(model);
    if (!script) {
        std::cerr << "whisper_init_from_file_with_params_no_state: failed to open '" << model << "'\n"
                  << "error: failed to initialize whisper context\n";
        return 3;
    }
    standin::sleepMilliseconds(script->number("load_ms", 0));
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
    const auto segments = standin::transcribe(*script, *wav);
    if (writeText && !outputBase.empty()) {
        std::ofstream text(outputBase + ".txt", std::ios::binary);
        for (const auto& segment : segments) text << segment << "\n";
        std::cerr << "output_txt: saving output to '" << outputBase << ".txt'\n";
    }
    std::string out = "\n";
    for (size_t i = 0; i < segments.size(); ++i) out += (i ? "\n" : "") + segments[i];
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
