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

void MultipartFormBody::addFile(std::string_view name, std::string_view fileName, std::string_view contentType,
                                std::string_view bytes) {
    parts_ += "--" + boundary_ + "\r\n";
    parts_ += "Content-Disposition: form-data; name=\"";
    parts_ += name;
    parts_ += "\"; filename=\"";
    parts_ += fileName;
    parts_ += "\"\r\n";
    parts_ += "Content-Type: ";
    parts_ += contentType;
    parts_ += "\r\n\r\n";
    parts_ += bytes;
    parts_ += "\r\n";
}

std::string MultipartFormBody::contentType() const { return "multipart/form-data; boundary=" + boundary_; }

std::string MultipartFormBody::finish() const { return parts_ + "--" + boundary_ + "--\r\n"; }

}  // namespace tavlo
