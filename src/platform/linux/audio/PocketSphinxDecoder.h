#pragma once
// One loaded PocketSphinx decoder (slow to make: it reads the whole model)
// and the few operations recognition needs.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/audio/PocketSphinxModel.h"

namespace tavlo {

struct SpeechHypothesis {
    std::string text;
    std::optional<double> firstWordStart;  // seconds from the start of the stream
    std::optional<double> lastWordEnd;     // likewise
};

class PocketSphinxDecoder {
public:
    // Throws PlatformError when the model cannot be loaded.
    explicit PocketSphinxDecoder(const PocketSphinxModel& model);
    ~PocketSphinxDecoder();
    PocketSphinxDecoder(const PocketSphinxDecoder&) = delete;
    PocketSphinxDecoder& operator=(const PocketSphinxDecoder&) = delete;

    // Makes the words the dictionary can pronounce (case does not matter)
    // known to the language model, so the recogniser can hear them. Words it
    // cannot pronounce, and everything when a grammar is used, are skipped.
    void addVocabulary(const std::vector<std::string>& words);
    // The words added so far (lower case).
    const std::set<std::string>& addedWords() const { return addedWords_; }
    // Whether the language model knows the word (lower case).
    bool languageModelKnows(const std::string& word) const;

    // A new stream: timestamps count from here.
    void start();
    void process(const std::int16_t* samples, std::size_t count);
    SpeechHypothesis hypothesis();
    // Ends the stream; the hypothesis then is the final one.
    void finish();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    std::set<std::string> addedWords_;
    bool inUtterance_ = false;
};

}  // namespace tavlo
