#pragma once
// A multipart/form-data body built byte for byte, so that the parts, their
// order and the boundary are exactly what the receiving server expects.
#include <string>
#include <string_view>

namespace tavlo {

class MultipartFormBody {
public:
    explicit MultipartFormBody(std::string boundary) : boundary_(std::move(boundary)) {}

    void addField(std::string_view name, std::string_view value);
    void addFile(std::string_view name, std::string_view fileName, std::string_view contentType,
                 std::string_view bytes);

    // For a last part whose contents are sent from a file: the body up to
    // those contents (every part added so far and the file part's header),
    // and what follows them (the part's end and the closing delimiter).
    struct AroundFile {
        std::string before;
        std::string after;
    };
    AroundFile finishAroundFile(std::string_view name, std::string_view fileName, std::string_view contentType) const;

    const std::string& boundary() const { return boundary_; }
    // "multipart/form-data; boundary=" + boundary
    std::string contentType() const;
    // The parts followed by the closing delimiter.
    std::string finish() const;

private:
    std::string boundary_;
    std::string parts_;
};

}  // namespace tavlo
