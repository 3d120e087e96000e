#include "updates/WebAddress.h"

namespace tavlo {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelimiter(char c) { return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Characters allowed by `allowed`, or "%" with two hex digits.
template <class Allowed>
bool isEscapedText(std::string_view text, Allowed allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return false;
            i += 2;
        } else if (!allowed(text[i])) {
            return false;
        }
    }
    return true;
}

bool isHost(std::string_view host) {
    if (host.empty()) return false;
    if (host.front() == '[') {
        // An IPv6 literal.
        if (host.size() < 3 || host.back() != ']') return false;
        for (const char c : host.substr(1, host.size() - 2))
            if (!isHexDigit(c) && c != ':' && c != '.') return false;
        return true;
    }
    return isEscapedText(host, [](char c) { return isUnreserved(c) || isSubDelimiter(c); });
}

bool isPort(std::string_view port) {
    if (port.empty() || port.size() > 5) return false;
    long value = 0;
    for (const char c : port) {
        if (!isDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return value <= 65535;
}

}  // namespace

bool isWebAddress(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view scheme = text.substr(0, colon);
    if (!equalsIgnoringCase(scheme, "http") && !equalsIgnoringCase(scheme, "https")) return false;
    text.remove_prefix(colon + 1);
    if (text.substr(0, 2) != "//") return false;
    text.remove_prefix(2);

    const auto authorityEnd = text.find_first_of("/?#");
    const std::string_view authority = text.substr(0, authorityEnd);
    const std::string_view rest = authorityEnd == std::string_view::npos ? std::string_view() : text.substr(authorityEnd);
    if (authority.find('@') != std::string_view::npos) return false;

    // The port follows the last colon outside an IPv6 literal.
    std::string_view host = authority;
    const auto portColon = authority.rfind(':');
    if (portColon != std::string_view::npos && authority.find(']', portColon) == std::string_view::npos) {
        if (!isPort(authority.substr(portColon + 1))) return false;
        host = authority.substr(0, portColon);
    }
    if (!isHost(host)) return false;

    // Path, query and fragment; "#" begins the fragment and may not appear again.
    const auto fragment = rest.find('#');
    const std::string_view beforeFragment = rest.substr(0, fragment);
    const std::string_view fragmentText = fragment == std::string_view::npos ? std::string_view() : rest.substr(fragment + 1);
    auto isPathOrQueryCharacter = [](char c) {
        return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/' || c == '?';
    };
    return isEscapedText(beforeFragment, isPathOrQueryCharacter) && isEscapedText(fragmentText, isPathOrQueryCharacter);
}

}  // namespace tavlo
