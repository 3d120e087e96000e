#include "base/SecretRedaction.h"

#include <algorithm>
#include <cctype>

namespace tavlo {
namespace {

// Shorter texts are no credential and would only tear words apart.
constexpr std::size_t shortestSecret = 6;

// The characters of a bearer credential (a "b64token": letters, digits and
// -._~+/ then = padding).
bool isCredentialCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' || c == '+' ||
           c == '/' || c == '=';
}

bool startsWithBearer(std::string_view text) {
    static constexpr std::string_view bearer = "bearer";
    if (text.size() < bearer.size()) return false;
    for (std::size_t i = 0; i < bearer.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != bearer[i]) return false;
    return true;
}

}  // namespace

std::string redactSecrets(std::string_view message, const std::vector<std::string>& secrets) {
    std::string text(message);
    // Longest first, so a secret that contains another is replaced whole.
    std::vector<std::string_view> ordered;
    for (const std::string& secret : secrets)
        if (secret.size() >= shortestSecret) ordered.emplace_back(secret);
    std::sort(ordered.begin(), ordered.end(), [](auto a, auto b) { return a.size() > b.size(); });
    for (const std::string_view secret : ordered) {
        for (std::size_t at = text.find(secret); at != std::string::npos;
             at = text.find(secret, at + kRedactedSecret.size()))
            text.replace(at, secret.size(), kRedactedSecret);
    }

    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const bool wordStart = i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]));
        if (!wordStart || !startsWithBearer(std::string_view(text).substr(i))) {
            result += text[i++];
            continue;
        }
        std::size_t j = i + 6;
        std::size_t spaces = j;
        while (spaces < text.size() && (text[spaces] == ' ' || text[spaces] == '\t')) ++spaces;
        std::size_t end = spaces;
        while (end < text.size() && isCredentialCharacter(text[end])) ++end;
        if (spaces == j || end == spaces) {
            // "bearer" as a plain word, not a header's value.
            result.append(text, i, j - i);
            i = j;
            continue;
        }
        result.append(text, i, spaces - i);
        result += kRedactedSecret;
        i = end;
    }
    return result;
}

}  // namespace tavlo
