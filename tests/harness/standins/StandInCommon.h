#pragma once
// Shared by the stand-ins for whisper.cpp's tools. A stand-in cannot
// recognise speech, so the "model" file tells it what to answer: one
// key=value per line ("segment=" lines are the transcript, the others set
// delays and failures). Every run and request is appended as a JSON line to
// files beside the model, so tests can check what the program was asked.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace standin {

struct ModelScript {
    std::vector<std::string> segments;
    std::map<std::string, std::string> values;

    int number(const std::string& key, int fallback) const {
        const auto it = values.find(key);
        return it == values.end() ? fallback : std::atoi(it->second.c_str());
    }
    std::string text(const std::string& key) const {
        const auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
};

// Absent when the model file is missing or empty, like a model that fails to load.
inline std::optional<ModelScript> readModel(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    ModelScript script;
    std::string line;
    bool any = false;
    while (std::getline(file, line)) {
        any = true;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "segment") script.segments.push_back(value);
        else script.values[key] = value;
    }
    if (!any) return std::nullopt;
    return script;
}

inline void appendRecord(const std::string& path, const nlohmann::json& record) {
    std::ofstream(path, std::ios::binary | std::ios::app) << record.dump() << "\n";
}

inline std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

struct Wav {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    int format = 0;
    std::vector<int16_t> samples;
};

inline uint32_t le32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}
inline uint16_t le16(const std::string& bytes, size_t at) {
    return uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
}

// Only what whisper.cpp itself needs: 16 kHz mono 16-bit PCM in RIFF/WAVE.
inline std::optional<Wav> decodeWav(const std::string& bytes) {
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    Wav wav;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const size_t size = le32(bytes, at + 4);
        const size_t body = at + 8;
        if (body + size > bytes.size() && id != "data") return std::nullopt;
        if (id == "fmt " && size >= 16) {
            wav.format = le16(bytes, body);
            wav.channels = le16(bytes, body + 2);
            wav.sampleRate = int(le32(bytes, body + 4));
            wav.bitsPerSample = le16(bytes, body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) return std::nullopt;
            const size_t available = std::min(size, bytes.size() - body);
            for (size_t i = 0; i + 1 < available; i += 2) wav.samples.push_back(int16_t(le16(bytes, body + i)));
            break;
        }
        at = body + size + (size & 1);
    }
    if (!haveFormat || wav.format != 1 || wav.channels != 1 || wav.sampleRate != 16000 || wav.bitsPerSample != 16)
        return std::nullopt;
    return wav;
}

inline bool isSilent(const Wav& wav) {
    for (int16_t sample : wav.samples)
        if (sample > 300 || sample < -300) return false;
    return true;
}

// What the model "hears": the scripted segments, or the blank-audio marker.
// "spoken=CODE" in the script names the language of the speech: decoding as
// another language (English when no "-l" was given, as the real tools do)
// gives Whisper's foreign-language note instead of the words; "auto" detects.
inline std::vector<std::string> transcribe(const ModelScript& script, const Wav& wav, const std::string& language) {
    if (isSilent(wav)) return {" [BLANK_AUDIO]"};
    const std::string spoken = script.text("spoken");
    if (!spoken.empty() && language != "auto" && language != spoken) return {" (speaking in foreign language)"};
    return script.segments;
}

// The usage text the real tools print for a bad command line: many lines.
inline std::string usageText(const std::string& program) {
    std::string usage = "\nusage: " + program + " [options] file0 file1 ...\n\noptions:\n";
    for (int i = 0; i < 75; ++i) usage += "  -o" + std::to_string(i) + " N,     --option-" + std::to_string(i) + " N  [0      ] an option\n";
    return usage + "\n";
}

inline void sleepMilliseconds(int milliseconds) {
    if (milliseconds > 0) ::usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

}  // namespace standin
