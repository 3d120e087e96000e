#pragma once
// A machine described by the test: its environment variables, home directory,
// executable files and other files.
#include <map>
#include <set>
#include <string>

#include "platform/HostEnvironment.h"

namespace tavlo {

class SimulatedHostEnvironment : public HostEnvironment {
public:
    std::map<std::string, std::string, std::less<>> variables;
    std::string home = "/home/tester";
    std::set<std::string, std::less<>> executableFiles;
    std::set<std::string, std::less<>> files;

    std::optional<std::string> variable(std::string_view name) const override {
        const auto found = variables.find(name);
        if (found == variables.end()) return std::nullopt;
        return found->second;
    }
    std::string homeDirectory() const override { return home; }
    bool isExecutableFile(const std::string& path) const override {
        return executableFiles.contains(path);
    }
    bool fileExists(const std::string& path) const override {
        return files.contains(path) || executableFiles.contains(path);
    }
};

}  // namespace tavlo
