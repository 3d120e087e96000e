#include "platform/linux/wayland/AccessibleWorkspace.h"

#include <unistd.h>

#include "platform/linux/process/ProcessInfo.h"

namespace tavlo::wayland {
namespace {

// Names come from other programs' files: no control characters, a sane length.
std::string displayable(std::string_view raw) {
    std::string clean;
    for (const char c : raw.substr(0, 256))
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean.push_back(c);
    return clean;
}

}  // namespace

AccessibleWorkspace::AccessibleWorkspace(std::shared_ptr<Accessibility> accessibility, Options options)
    : accessibility_(std::move(accessibility)),
      self_(std::move(options.self)),
      locale_(std::move(options.locale)),
      entries_(std::move(options.applicationDirectories)) {
    self_.processIdentifier = static_cast<int>(::getpid());
}

std::optional<RunningApplication> AccessibleWorkspace::frontmostApplication() const {
    if (!accessibility_ || !accessibility_->isProcessTrusted()) return std::nullopt;
    const auto focused = accessibility_->focusedElement();
    const auto pid = focused ? focused->processIdentifier() : std::nullopt;
    if (!pid) return std::nullopt;
    return runningApplication(*pid);
}

AccessibleWorkspace::Names AccessibleWorkspace::namesOf(int processIdentifier) const {
    Names names;
    names.executable = displayable(processExecutableName(processIdentifier).value_or(""));
    names.command = displayable(processCommandName(processIdentifier).value_or(""));
    for (const std::string* name : {&names.executable, &names.command})
        if (!names.entry && !name->empty()) names.entry = entries_.byExecutable(*name);
    if (!names.entry && !names.command.empty()) names.entry = entries_.byId(names.command);
    return names;
}

std::optional<RunningApplication> AccessibleWorkspace::runningApplication(int processIdentifier) const {
    if (processIdentifier == self_.processIdentifier) return self_;
    if (processIdentifier <= 0 || !processStartTime(processIdentifier)) return std::nullopt;
    const auto [executable, command, entry] = namesOf(processIdentifier);

    RunningApplication application;
    application.processIdentifier = processIdentifier;
    if (entry) {
        application.bundleIdentifier = displayable(entry->id);
        application.localizedName = displayable(desktop::localizedName(*entry, locale_));
    } else {
        const std::string& known = command.empty() ? executable : command;
        if (!known.empty()) {
            application.bundleIdentifier = known;
            application.localizedName = known;
        }
    }
    return application;
}

desktop::TerminalKind AccessibleWorkspace::terminalKind(const RunningApplication& application) const {
    if (application.processIdentifier == self_.processIdentifier) return desktop::TerminalKind::notTerminal;
    const auto [executable, command, entry] = namesOf(application.processIdentifier);
    return desktop::terminalKindOf({entry ? entry->id : "", executable, command},
                                   entry ? entry->categories : std::vector<std::string>{});
}

bool AccessibleWorkspace::isTerminated(const RunningApplication& application) const {
    if (application.processIdentifier == self_.processIdentifier) return false;
    return !processStartTime(application.processIdentifier);
}

}  // namespace tavlo::wayland
