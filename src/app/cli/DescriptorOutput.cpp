#include "app/cli/DescriptorOutput.h"

#include <unistd.h>

#include <cerrno>

namespace tavlo::cli {

DescriptorOutputBuffer::DescriptorOutputBuffer(int fd) : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

DescriptorOutputBuffer::~DescriptorOutputBuffer() { writeBuffered(); }

bool DescriptorOutputBuffer::writeBuffered() {
    const char* next = pbase();
    const char* const end = pptr();
    // After a failure nothing more is written: the output is already incomplete.
    while (firstError_ == 0 && next < end) {
        const ssize_t written = ::write(fd_, next, static_cast<std::size_t>(end - next));
        if (written < 0) {
            if (errno == EINTR) continue;
            firstError_ = errno;
        } else {
            next += written;
        }
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return firstError_ == 0;
}

DescriptorOutputBuffer::int_type DescriptorOutputBuffer::overflow(int_type c) {
    if (!writeBuffered()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorOutputBuffer::sync() { return writeBuffered() ? 0 : -1; }

}  // namespace tavlo::cli
