#include "hub/model/HubSection.h"

namespace tavlo {

std::string_view sectionTitle(HubSection section) {
    switch (section) {
    case HubSection::home: return "Home";
    case HubSection::history: return "History";
    case HubSection::dictionary: return "Dictionary";
    case HubSection::transcribe: return "Transcribe";
    case HubSection::snippets: return "Snippets";
    case HubSection::shortcuts: return "Shortcuts";
    }
    return {};
}

std::optional<std::string_view> sectionSubtitle(HubSection section) {
    switch (section) {
    case HubSection::home: return std::nullopt;
    case HubSection::history: return "Recent dictations by time, with a short summary and full text.";
    case HubSection::dictionary:
        return "Words and phrases Tavlo should bias recognition toward on the next dictation.";
    case HubSection::transcribe: return "Drop a file, copy the transcript, and save the .txt output locally.";
    case HubSection::snippets: return "Spoken phrases that expand into reusable text.";
    case HubSection::shortcuts: return "Record your own key combos. Fn remains the push-to-talk modifier.";
    }
    return std::nullopt;
}

std::optional<double> fixedPanelHeight(HubSection section) {
    switch (section) {
    case HubSection::home: return std::nullopt;
    case HubSection::history: return 430;
    case HubSection::dictionary: return 390;
    case HubSection::transcribe: return 462;
    case HubSection::snippets: return 356;
    case HubSection::shortcuts: return 356;
    }
    return std::nullopt;
}

std::optional<HubSection> sidebarSection(int tag) {
    if (tag < 0 || tag >= static_cast<int>(sidebarSections.size())) return std::nullopt;
    return sidebarSections[static_cast<std::size_t>(tag)];
}

std::optional<int> sidebarTag(HubSection section) {
    for (std::size_t i = 0; i < sidebarSections.size(); ++i)
        if (sidebarSections[i] == section) return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace tavlo
