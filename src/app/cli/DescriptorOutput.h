#pragma once
// Standard output for the commands, written straight to its file descriptor
// and remembering why a write failed (a full disk, a closed pipe), so the
// command can say so instead of losing the reason to a later call.
#include <array>
#include <streambuf>

namespace tavlo::cli {

class DescriptorOutputBuffer : public std::streambuf {
public:
    explicit DescriptorOutputBuffer(int fd);
    ~DescriptorOutputBuffer() override;

    DescriptorOutputBuffer(const DescriptorOutputBuffer&) = delete;
    DescriptorOutputBuffer& operator=(const DescriptorOutputBuffer&) = delete;

    // The errno of the first write that failed, or 0.
    int firstError() const { return firstError_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeBuffered();

    int fd_;
    int firstError_ = 0;
    std::array<char, 65536> buffer_{};
};

}  // namespace tavlo::cli
