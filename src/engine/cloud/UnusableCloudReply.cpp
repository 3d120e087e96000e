#include "engine/cloud/UnusableCloudReply.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tavlo {
namespace {

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// By its declared type, or by how it begins when the type says nothing useful.
bool isWebPage(const HttpResponse& response) {
    if (const auto type = response.header("Content-Type")) {
        const std::string lower = lowered(*type);
        if (lower.find("text/html") != std::string::npos || lower.find("application/xhtml") != std::string::npos)
            return true;
    }
    const auto start = response.body.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (start == std::string::npos) return false;
    const std::string opening = lowered(std::string_view(response.body).substr(start, 64));
    return opening.rfind("<!doctype html", 0) == 0 || opening.rfind("<html", 0) == 0 ||
           opening.rfind("<head", 0) == 0 || opening.rfind("<body", 0) == 0;
}

}  // namespace

std::optional<std::string> unusableCloudReply(const HttpResult& result) {
    if (!result.response) return std::nullopt;
    const int status = result.response->statusCode;
    if (status >= 300 && status <= 399)
        return "The server redirected the upload elsewhere (HTTP status " + std::to_string(status) +
               "); the recording was not sent there.";
    if (status >= 200 && status <= 299 && isWebPage(*result.response))
        return "The server answered with a web page instead of a transcript (HTTP status " + std::to_string(status) +
               "). A network login page or a proxy may be in the way.";
    return std::nullopt;
}

}  // namespace tavlo
