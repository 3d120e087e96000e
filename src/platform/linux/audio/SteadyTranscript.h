#pragma once
// The on-device decoder's running hypothesis changes its mind often, even
// about its first words ("oh", then "low", then "hello"). Whoever merges the
// partial texts takes a rewritten start for new speech and keeps both, so the
// words it is shown only ever grow: a word is shown once two hypotheses in a
// row agree on it and on everything before it, and the final text keeps the
// words already shown, taking from the decoder's last word only what follows
// them.
#include <optional>
#include <string>
#include <vector>

namespace tavlo {

class SteadyTranscript {
public:
    // A running hypothesis; the text to show when more of it has settled.
    std::optional<std::string> partial(const std::string& hypothesis);
    // A hypothesis whose words are settled (the end of a stretch of speech,
    // or the end of the audio): the text to show, which keeps what was shown.
    std::string settle(const std::string& hypothesis);

private:
    std::vector<std::string> previous_;
    std::vector<std::string> shown_;
};

}  // namespace tavlo
