#pragma once
// A private folder per test with helpers to lay out a fake installation:
// executables, model files and recordings. Removed at the end of the test.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tavlo::testing {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavlo-whisper-test-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return root_; }

    static void write(const std::filesystem::path& file, const std::string& content) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    }
    static void makeExecutable(const std::filesystem::path& file) {
        write(file, "#!/bin/sh\nexit 0\n");
        ::chmod(file.c_str(), 0755);
    }
    static std::string read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool exists(const std::filesystem::path& file) { return std::filesystem::exists(file); }

private:
    std::filesystem::path root_;
};

}  // namespace tavlo::testing
