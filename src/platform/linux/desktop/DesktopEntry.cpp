#include "platform/linux/desktop/DesktopEntry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tavlo::desktop {
namespace {

namespace fs = std::filesystem;

// Bounds for what other packages installed: no entry file is this large,
// no system has this many, and ids nest at most this deep.
constexpr std::uintmax_t maxFileBytes = 64 * 1024;
constexpr std::size_t maxEntries = 5000;
constexpr int maxDepth = 3;

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

std::string unescape(std::string_view value) {
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result.push_back(value[i]);
            continue;
        }
        switch (value[++i]) {
        case 's': result.push_back(' '); break;
        case 'n': result.push_back('\n'); break;
        case 't': result.push_back('\t'); break;
        case 'r': result.push_back('\r'); break;
        default: result.push_back(value[i]); break;
        }
    }
    return result;
}

std::vector<std::string> splitList(std::string_view value) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < value.size()) {
        const std::size_t end = std::min(value.find(';', start), value.size());
        if (end > start) items.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::string fileName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The program an Exec line starts: its first word, quotes removed, past an
// `env VAR=value` prefix.
std::string execProgram(std::string_view exec) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < exec.size() && words.size() < 16; ++i) {
        const char c = exec[i];
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == '\\' && quoted && i + 1 < exec.size()) {
            word.push_back(exec[++i]);
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any || !word.empty()) words.push_back(std::move(word));
            word.clear();
            any = false;
        } else {
            word.push_back(c);
        }
    }
    if (any || !word.empty()) words.push_back(std::move(word));
    std::size_t first = 0;
    if (first < words.size() && fileName(words[first]) == "env") {
        ++first;
        while (first < words.size() && words[first].find('=') != std::string::npos) ++first;
    }
    return first < words.size() ? fileName(words[first]) : std::string();
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view content, std::string id) {
    DesktopEntry entry;
    entry.id = std::move(id);
    bool inMainGroup = false, isApplication = false, hidden = false;
    while (!content.empty()) {
        const std::size_t end = std::min(content.find('\n'), content.size());
        const std::string_view line = trim(content.substr(0, end));
        content.remove_prefix(std::min(end + 1, content.size()));
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, equals));
        const std::string value = unescape(trim(line.substr(equals + 1)));
        if (key == "Type") {
            isApplication = value == "Application";
        } else if (key == "Name") {
            entry.name = value;
        } else if (key.starts_with("Name[") && key.ends_with("]")) {
            entry.localizedNames[std::string(key.substr(5, key.size() - 6))] = value;
        } else if (key == "Categories") {
            entry.categories = splitList(value);
        } else if (key == "StartupWMClass") {
            entry.startupWmClass = value;
        } else if (key == "Exec" || key == "TryExec") {
            std::string program = key == "Exec" ? execProgram(value) : fileName(value);
            if (!program.empty() && std::find(entry.executables.begin(), entry.executables.end(), program) ==
                                        entry.executables.end())
                entry.executables.push_back(std::move(program));
        } else if (key == "Hidden") {
            hidden = value == "true";
        }
    }
    if (!isApplication || hidden || entry.name.empty()) return std::nullopt;
    return entry;
}

std::string localizedName(const DesktopEntry& entry, std::string_view locale) {
    // lang_COUNTRY.ENCODING@MODIFIER: the encoding never takes part.
    std::string_view modifier;
    if (const std::size_t at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    if (const std::size_t dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
    const std::string_view language = locale.substr(0, locale.find('_'));
    std::vector<std::string> candidates;
    if (!modifier.empty()) candidates.push_back(std::string(locale) + std::string(modifier));
    candidates.emplace_back(locale);
    if (!modifier.empty()) candidates.push_back(std::string(language) + std::string(modifier));
    candidates.emplace_back(language);
    for (const std::string& candidate : candidates) {
        const auto found = entry.localizedNames.find(candidate);
        if (found != entry.localizedNames.end() && !found->second.empty()) return found->second;
    }
    return entry.name;
}

std::string messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return "C";
}

std::vector<fs::path> DesktopEntryIndex::applicationDirectories() {
    std::vector<fs::path> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome == '/') folders.push_back(fs::path(dataHome) / "applications");
    else if (home && *home == '/') folders.push_back(fs::path(home) / ".local/share/applications");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && dir.front() == '/') folders.push_back(fs::path(dir) / "applications");
        start = end + 1;
    }
    return folders;
}

DesktopEntryIndex::DesktopEntryIndex(std::vector<fs::path> directories) : directories_(std::move(directories)) {}

void DesktopEntryIndex::load() const {
    if (loaded_) return;
    loaded_ = true;
    for (const fs::path& folder : directories_) {
        std::error_code error;
        fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
        for (; !error && walk != fs::recursive_directory_iterator() && entries_.size() < maxEntries;
             walk.increment(error)) {
            if (walk.depth() >= maxDepth) walk.disable_recursion_pending();
            const fs::path& path = walk->path();
            // Package managers install entries as links (Flatpak's exports):
            // they are followed, but only to ordinary files of a sane size.
            if (path.extension() != ".desktop" || !walk->is_regular_file(error)) continue;
            const std::uintmax_t size = walk->file_size(error);
            if (error || size > maxFileBytes) {
                error.clear();
                continue;
            }
            std::string id = path.lexically_relative(folder).replace_extension().string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (byId_.contains(id)) continue;
            std::ifstream file(path, std::ios::binary);
            std::string content(std::istreambuf_iterator<char>(file), {});
            content.resize(std::min<std::size_t>(content.size(), maxFileBytes));
            auto entry = parseDesktopEntry(content, id);
            // A hidden or broken entry still hides the same id further on.
            byId_.emplace(id, entries_.size());
            if (!entry) {
                entries_.push_back(DesktopEntry{id, {}, {}, {}, {}, {}});
                continue;
            }
            const std::size_t index = entries_.size();
            byLowerId_.emplace(lower(id), index);
            if (!entry->startupWmClass.empty()) byWmClass_.emplace(lower(entry->startupWmClass), index);
            for (const std::string& program : entry->executables) byExecutable_.emplace(program, index);
            entries_.push_back(std::move(*entry));
        }
    }
}

const DesktopEntry* DesktopEntryIndex::byId(std::string_view id) const {
    load();
    std::optional<std::size_t> index;
    if (const auto exact = byId_.find(std::string(id)); exact != byId_.end()) index = exact->second;
    else if (const auto folded = byLowerId_.find(lower(id)); folded != byLowerId_.end()) index = folded->second;
    // Hidden entries are kept without a name, only to hide later ones.
    if (!index || entries_[*index].name.empty()) return nullptr;
    return &entries_[*index];
}

const DesktopEntry* DesktopEntryIndex::byWmClass(std::string_view wmClass) const {
    load();
    const auto found = byWmClass_.find(lower(wmClass));
    return found == byWmClass_.end() ? nullptr : &entries_[found->second];
}

const DesktopEntry* DesktopEntryIndex::byExecutable(std::string_view executable) const {
    load();
    const auto found = byExecutable_.find(std::string(executable));
    return found == byExecutable_.end() ? nullptr : &entries_[found->second];
}

}  // namespace tavlo::desktop
