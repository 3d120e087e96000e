#include "platform/linux/audio/PocketSphinxDecoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <sphinxbase/ngram_model.h>

#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/PlatformError.h"

namespace tavlo {
namespace {

constexpr const char* errorDomain = "pocketsphinx";
// A vocabulary hint longer than this is no word.
constexpr std::size_t maxWordLength = 64;

// Model loading touches process-wide state of the library; loads are made
// one at a time, and its chatter on standard error is switched off once,
// before any decoder exists.
std::mutex& loadMutex() {
    static std::mutex mutex;
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    return mutex;
}

// Silence, noise and sentence markers are not words.
bool isWord(const std::string& word) {
    return !word.empty() && word.front() != '<' && word.front() != '[' && word.front() != '+' && word != "(NULL)";
}

// "read(2)" is the second pronunciation of "read".
std::string baseWord(std::string word) {
    if (!word.empty() && word.back() == ')') {
        const std::size_t open = word.rfind('(');
        if (open != std::string::npos && open > 0) word.resize(open);
    }
    return word;
}

// A name for one more pronunciation of `word` that the dictionary does not use yet.
std::string unusedAlternative(ps_decoder_t* decoder, const std::string& word) {
    for (int number = 2; number < 100; ++number) {
        const std::string candidate = word + "(" + std::to_string(number) + ")";
        char* phones = ps_lookup_word(decoder, candidate.c_str());
        if (!phones) return candidate;
        ckd_free(phones);
    }
    return {};
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

struct PocketSphinxDecoder::Handles {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* decoder = nullptr;
    bool usesGrammar = false;
    double framesPerSecond = 100;

    ~Handles() {
        if (decoder) ps_free(decoder);
        if (config) cmd_ln_free_r(config);
    }

    ngram_model_t* languageModel() const {
        if (usesGrammar) return nullptr;
        // The search a decoder makes from its -lm setting has this name;
        // asking the library for the current name leaks a little each time.
        return ps_get_lm(decoder, "_default");
    }
};

PocketSphinxDecoder::PocketSphinxDecoder(const PocketSphinxModel& model) : handles_(std::make_unique<Handles>()) {
    const std::string acoustic = model.acousticModel.string();
    const std::string dictionary = model.dictionary.string();
    const std::string languageModel = model.grammar ? model.grammar->string() : model.languageModel.string();
    handles_->usesGrammar = model.grammar.has_value();

    std::lock_guard lock(loadMutex());
    // Fewer active states and words per frame and a phonetic look-ahead
    // roughly halve the processor time of listening. The second, flat search
    // over the whole utterance is off: it ran only after the end of audio,
    // where the user waits for it (about 140 ms of processor time for a short
    // sentence, against 3 to 15 ms without), and on espeak-ng's test sentences
    // it made at most one word in forty better. The lattice pass stays:
    // without it they came out clearly worse. The look-ahead reads five
    // frames ahead: with ten, the first word came 40 ms later for no fewer
    // errors; without it, 100 ms sooner, but two words in forty go wrong and
    // the search takes half as much time again.
    // The built-in silence removal is off: with it, word times drift later by
    // the silence it dropped, and they must count from the start of the
    // audio. Dither keeps exact digital silence (a muted or gated microphone)
    // from upsetting the feature computation, which otherwise can crash on it;
    // its noise comes from a fixed seed, so the same audio always gives the
    // same words.
    handles_->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.c_str(), "-dict", dictionary.c_str(),
                                   model.grammar ? "-jsgf" : "-lm", languageModel.c_str(), "-samprate", "16000",
                                   "-maxhmmpf", "3000", "-maxwpf", "10", "-pl_window", "5", "-fwdflat", "no",
                                   "-remove_silence", "no", "-dither", "yes", "-seed", "1", nullptr);
    if (handles_->config) handles_->decoder = ps_init(handles_->config);
    if (!handles_->decoder)
        throw PlatformError(errorDomain, 1, "The speech recognition model could not be loaded.");
    handles_->framesPerSecond = cmd_ln_int32_r(handles_->config, "-frate");
}

PocketSphinxDecoder::~PocketSphinxDecoder() {
    if (inUtterance_) ps_end_utt(handles_->decoder);
}

bool PocketSphinxDecoder::languageModelKnows(const std::string& word) const {
    ngram_model_t* model = handles_->languageModel();
    if (!model) return false;
    // The search maps every dictionary word into its set of language models,
    // so having an id is not enough: some model of the set must know it.
    const int32 id = ngram_wid(model, word.c_str());
    return id != ngram_unknown_wid(model) && ngram_model_set_known_wid(model, id);
}

void PocketSphinxDecoder::addVocabulary(const std::vector<std::string>& words) {
    ngram_model_t* model = handles_->languageModel();
    if (!model) return;
    // The words to add with their pronunciations.
    std::vector<std::pair<std::string, std::string>> learnable;
    for (const std::string& original : words) {
        if (original.empty() || original.size() > maxWordLength) continue;
        const std::string word = lowerCase(original);
        if (addedWords_.count(word) || languageModelKnows(word)) continue;
        if (std::any_of(learnable.begin(), learnable.end(), [&word](const auto& w) { return w.first == word; }))
            continue;
        char* phones = ps_lookup_word(handles_->decoder, word.c_str());
        if (!phones) continue;  // no pronunciation: the recogniser could never hear it
        learnable.emplace_back(word, phones);
        ckd_free(phones);
    }
    for (std::size_t i = 0; i < learnable.size(); ++i) {
        const auto& [word, phones] = learnable[i];
        // The language model must know the word before the search is told of
        // it. The dictionary already has the word, so the search learns it as
        // one more pronunciation ("word(n)"). Rebuilding the search takes
        // time, so it happens once, with the last word.
        ngram_model_add_word(model, word.c_str(), 1.0f);
        const std::string alternative = unusedAlternative(handles_->decoder, word);
        const bool last = i + 1 == learnable.size();
        if (alternative.empty()) continue;
        if (ps_add_word(handles_->decoder, alternative.c_str(), phones.c_str(), last ? TRUE : FALSE) >= 0)
            addedWords_.insert(word);
    }
}

void PocketSphinxDecoder::start() {
    if (inUtterance_) ps_end_utt(handles_->decoder);
    ps_start_stream(handles_->decoder);
    ps_start_utt(handles_->decoder);
    inUtterance_ = true;
}

void PocketSphinxDecoder::process(const std::int16_t* samples, std::size_t count) {
    if (!inUtterance_ || count == 0) return;
    ps_process_raw(handles_->decoder, samples, count, FALSE, FALSE);
}

SpeechHypothesis PocketSphinxDecoder::hypothesis() {
    SpeechHypothesis result;
    for (ps_seg_t* segment = ps_seg_iter(handles_->decoder); segment; segment = ps_seg_next(segment)) {
        const char* text = ps_seg_word(segment);
        if (!text || !isWord(text)) continue;
        if (!result.text.empty()) result.text += ' ';
        result.text += baseWord(text);
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(segment, &startFrame, &endFrame);
        if (!result.firstWordStart) result.firstWordStart = startFrame / handles_->framesPerSecond;
        result.lastWordEnd = (endFrame + 1) / handles_->framesPerSecond;
    }
    return result;
}

void PocketSphinxDecoder::finish() {
    if (!inUtterance_) return;
    ps_end_utt(handles_->decoder);
    inUtterance_ = false;
}

}  // namespace tavlo
