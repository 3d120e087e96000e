#pragma once
// The per-user base folders of the XDG base directory rules.
#include <filesystem>

#include "platform/HostEnvironment.h"

namespace tavlo {

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path configHome(const HostEnvironment& host);
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path dataHome(const HostEnvironment& host);

// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state.
std::filesystem::path stateHome(const HostEnvironment& host);

}  // namespace tavlo
