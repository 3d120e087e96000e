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
