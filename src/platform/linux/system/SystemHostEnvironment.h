#pragma once
// The real machine: the process environment, the password database and the file system.
#include "platform/HostEnvironment.h"

namespace tavlo {

class SystemHostEnvironment : public HostEnvironment {
public:
    std::optional<std::string> variable(std::string_view name) const override;
    // $HOME when it is an absolute path, else the user's entry in the password database.
    std::string homeDirectory() const override;
    bool isExecutableFile(const std::string& path) const override;
    bool fileExists(const std::string& path) const override;
};

}  // namespace tavlo
