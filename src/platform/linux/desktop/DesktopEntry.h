#pragma once
// Desktop entries (the .desktop files in the applications folders of the XDG
// data directories) name the installed applications: their stable
// identifier (the file id), their name in the user's language, and what
// kind of program they are. Files come from anywhere on the system, so they
// are read with bounds on size, count and depth.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavlo::desktop {

struct DesktopEntry {
    std::string id;  // the file id without ".desktop", such as "org.gnome.Terminal"
    std::string name;
    std::map<std::string, std::string> localizedNames;  // by locale as written: "de", "pt_BR"
    std::vector<std::string> categories;
    std::string startupWmClass;
    std::vector<std::string> executables;  // file names of Exec's program and TryExec
};

// The entry of one file's text; absent when it is not a visible application.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view content, std::string id);

// The name in `locale` (as in LANG: "de_DE.UTF-8@euro"), by the usual
// fallbacks (de_DE@euro, de_DE, de@euro, de), else the plain name.
std::string localizedName(const DesktopEntry& entry, std::string_view locale);

// The user's language for messages, from LC_ALL, LC_MESSAGES and LANG.
std::string messagesLocale();

// All application entries of some folders; an earlier folder's entry hides
// a later one with the same id, as the XDG rules say. Read once, at first use.
class DesktopEntryIndex {
public:
    // XDG_DATA_HOME's and each of XDG_DATA_DIRS's applications folder.
    static std::vector<std::filesystem::path> applicationDirectories();

    explicit DesktopEntryIndex(std::vector<std::filesystem::path> directories);

    const DesktopEntry* byId(std::string_view id) const;
    const DesktopEntry* byWmClass(std::string_view wmClass) const;
    const DesktopEntry* byExecutable(std::string_view executable) const;

private:
    void load() const;

    std::vector<std::filesystem::path> directories_;
    mutable bool loaded_ = false;
    mutable std::vector<DesktopEntry> entries_;
    mutable std::unordered_map<std::string, std::size_t> byId_, byLowerId_, byWmClass_, byExecutable_;
};

}  // namespace tavlo::desktop
