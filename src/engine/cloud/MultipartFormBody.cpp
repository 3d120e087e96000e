#include "engine/cloud/MultipartFormBody.h"

namespace tavlo {

void MultipartFormBody::addField(std::string_view name, std::string_view value) {
    parts_ += "--" + boundary_ + "\r\n";
    parts_ += "Content-Disposition: form-data; name=\"";
    parts_ += name;
    parts_ += "\"\r\n\r\n";
    parts_ += value;
    parts_ += "\r\n";
}

namespace {

std::string fileHeader(const std::string& boundary, std::string_view name, std::string_view fileName,
                       std::string_view contentType) {
    std::string header = "--" + boundary + "\r\n";
    header += "Content-Disposition: form-data; name=\"";
    header += name;
    header += "\"; filename=\"";
    header += fileName;
    header += "\"\r\n";
    header += "Content-Type: ";
    header += contentType;
    header += "\r\n\r\n";
    return header;
}

}  // namespace

void MultipartFormBody::addFile(std::string_view name, std::string_view fileName, std::string_view contentType,
                                std::string_view bytes) {
    parts_ += fileHeader(boundary_, name, fileName, contentType);
    parts_ += bytes;
    parts_ += "\r\n";
}

MultipartFormBody::AroundFile MultipartFormBody::finishAroundFile(std::string_view name, std::string_view fileName,
                                                                  std::string_view contentType) const {
    return {parts_ + fileHeader(boundary_, name, fileName, contentType), "\r\n--" + boundary_ + "--\r\n"};
}

std::string MultipartFormBody::contentType() const { return "multipart/form-data; boundary=" + boundary_; }

std::string MultipartFormBody::finish() const { return parts_ + "--" + boundary_ + "--\r\n"; }

}  // namespace tavlo
