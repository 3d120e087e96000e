#pragma once
// JSON that comes from files and servers is parsed with a bound on how deeply
// arrays and objects nest. Real settings, snippets, manifests and replies nest
// a few levels; a document nested tens of thousands deep exhausts the stack of
// the code that walks, copies or prints it. Such a document is refused before
// it is parsed, like any other text that is not the JSON expected.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavlo {

inline constexpr std::size_t maximumJsonDepth = 100;

// False when arrays and objects nest deeper than maximumDepth anywhere in the
// text (brackets inside strings do not count). Looks only at nesting, so it
// also bounds text that is not valid JSON.
bool jsonNestingWithin(std::string_view text, std::size_t maximumDepth = maximumJsonDepth);

// The parsed document, or absent with the reason in `problem`: nested too
// deeply, or not valid JSON.
template <class Json = nlohmann::json>
std::optional<Json> parseBoundedJson(std::string_view text, std::string* problem = nullptr) {
    if (!jsonNestingWithin(text)) {
        if (problem)
            *problem = "it is nested more than " + std::to_string(maximumJsonDepth) + " levels deep";
        return std::nullopt;
    }
    try {
        return Json::parse(text);
    } catch (const nlohmann::json::exception& error) {
        if (problem) *problem = error.what();
        return std::nullopt;
    }
}

}  // namespace tavlo
