// Arbitrary bytes through the transcript pipeline. The first byte picks the
// style and shapes one extra snippet cut from the input itself, so that
// snippet matching runs on phrases that really occur; the rest is the text.
// Checks: no crash or sanitizer report, no hang, the result is valid UTF-8,
// a cancelled result carries nothing, and the cheap test that lets snippet
// search be skipped never skips a search that would have found something.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/Enums.h"
#include "base/Records.h"
#include "text/IcuText.h"
#include "text/Snippets.h"
#include "text/TextPipeline.h"

namespace {

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "text_pipeline fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    using namespace tavlo;
    const uint8_t control = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const TransformStyle style = allCases<TransformStyle>()[control % 5];

    std::vector<VoiceSnippet> snippets = VoiceSnippet::defaults();
    if (!text.empty()) {
        const std::size_t start = (control >> 3) % text.size();
        const std::size_t length = 1 + (control >> 5);
        snippets.push_back({std::string(text.substr(start, length)), std::string(text.substr(0, control % 7))});
    }

    const ProcessedText result = TextPipeline::process(text, style, snippets);
    if (!isValidUtf8(result.text)) fail("result is not valid UTF-8");
    if (result.cancelled && (!result.text.empty() || result.shouldPressEnter)) fail("cancelled result carries text");

    namespace detail = TextPipeline::detail;
    const detail::UnicodeString haystack = detail::fromUtf8(text);
    const detail::UnicodeString phrase = detail::fromUtf8(snippets.back().phrase);
    if (!detail::mayContainIgnoringCaseAndDiacritics(haystack, phrase) &&
        detail::replacingIgnoringCaseAndDiacritics(haystack, phrase, u"\uE000") != haystack)
        fail("snippet prefilter skipped a phrase the search finds");
    return 0;
}
