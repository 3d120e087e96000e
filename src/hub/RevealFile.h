#pragma once
// Shows a saved file in the user's file manager, selected, where the file
// manager offers that over the session bus; otherwise opens its folder.
#include <filesystem>

namespace tavlo::hub {

// False when neither the file manager nor the folder could be opened.
bool revealInFileManager(const std::filesystem::path& file);

}  // namespace tavlo::hub
