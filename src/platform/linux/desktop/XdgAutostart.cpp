#include "platform/linux/desktop/XdgAutostart.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "platform/linux/files/AtomicFile.h"
#include "platform/linux/files/XdgDirectories.h"

namespace tavlo {
namespace {

// A path as the value of an Exec key, in two layers as the desktop entry
// format reads it back: first the Exec quoting (the whole path in double
// quotes, with ", `, $ and \ inside escaped by a backslash, and % doubled so
// it starts no field code), then the escaping of any string value of the
// key file (every backslash doubled, line breaks and tabs written as \n, \r
// and \t). Without the second layer a path with one of those characters
// gives an entry that desktops refuse or read as another path.
std::string execValue(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\r': value += "\\r"; break;
        case '\t': value += "\\t"; break;
        default: value += c;
        }
    }
    return value;
}

bool switchedOff(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return true;
    }
    return false;
}

}  // namespace

XdgAutostart::XdgAutostart(const HostEnvironment& host, std::filesystem::path program)
    : entry_(configHome(host) / "autostart" / "app.tavlo.Tavlo.desktop"), program_(commandFor(host, program)) {}

std::filesystem::path XdgAutostart::commandFor(const HostEnvironment& host, const std::filesystem::path& program) {
    const std::string path = host.variable("PATH").value_or("");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::filesystem::path folder = path.substr(start, end - start);
        start = end + 1;
        // Only the first `tavlo` on PATH is the one a bare command starts.
        if (folder.empty() || !folder.is_absolute()) continue;
        const std::filesystem::path candidate = folder / "tavlo";
        if (!host.isExecutableFile(candidate.string())) continue;
        std::error_code error;
        return std::filesystem::equivalent(candidate, program, error) ? std::filesystem::path("tavlo") : program;
    }
    return program;
}

std::string XdgAutostart::entryText(const std::filesystem::path& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tavlo\n"
           "Comment=Start Tavlo when you log in\n"
           "Exec=" + (program == "tavlo" ? std::string("tavlo") : execValue(program.string())) + "\n"
           "Icon=app.tavlo.Tavlo\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool XdgAutostart::isEnabled() const {
    // Entries are small; anything larger or not a plain file is not ours.
    const FileRead read = readWholeFile(entry_, /*noFollow=*/true);
    return read.status == FileRead::Status::ok && read.contents.size() < 64 * 1024 && !switchedOff(read.contents);
}

bool XdgAutostart::setEnabled(bool enabled) {
    if (!enabled) return ::unlink(entry_.c_str()) == 0 || errno == ENOENT;
    std::string error;
    if (!ensureDirectory(entry_.parent_path(), 0700, error)) return false;
    return replaceFileAtomically(entry_, entryText(program_), 0644).ok;
}

}  // namespace tavlo
