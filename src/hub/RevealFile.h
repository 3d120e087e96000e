#pragma once
// Shows a saved file in the user's file manager, selected, where the file
// manager offers that over the session bus; otherwise opens its folder.
#include <filesystem>

namespace tavlo::hub {

// A file manager answers on the session bus, or a desktop opener exists to
// open the folder: without either, showing a file can do nothing.
bool canRevealFiles();
// False when neither the file manager nor the folder could be opened.
bool revealInFileManager(const std::filesystem::path& file);

}  // namespace tavlo::hub
