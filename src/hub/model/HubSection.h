#pragma once
// The hub's sections: one is shown at a time, below its title and subtitle.
// Four of them have a sidebar button; Snippets and Shortcuts are reached by
// other means, and no sidebar button is lit while one of them is shown.
#include <array>
#include <optional>
#include <string_view>

namespace tavlo {

enum class HubSection { home, history, dictionary, transcribe, snippets, shortcuts };

// Every section in its fixed order.
inline constexpr std::array<HubSection, 6> allHubSections{HubSection::home,     HubSection::history,
                                                         HubSection::dictionary, HubSection::transcribe,
                                                         HubSection::snippets, HubSection::shortcuts};

// The sidebar's buttons, top to bottom; a button's tag is its index here.
inline constexpr std::array<HubSection, 4> sidebarSections{HubSection::home, HubSection::history,
                                                           HubSection::dictionary, HubSection::transcribe};

// "Home", "History", ...: the sidebar button's and the section's title.
std::string_view sectionTitle(HubSection section);

// The line under the title; absent for Home, which shows no title row.
std::optional<std::string_view> sectionSubtitle(HubSection section);

// Whether the section shows the title row (title and subtitle).
inline bool showsTitleRow(HubSection section) { return section != HubSection::home; }

// The fixed height of the section's panel in points; absent for Home, whose
// height depends on its draft (HomeViewModel::panelHeight()).
std::optional<double> fixedPanelHeight(HubSection section);

// The section of a sidebar tag; absent outside 0 to 3.
std::optional<HubSection> sidebarSection(int tag);

// The sidebar tag of a section; absent for sections without a button.
std::optional<int> sidebarTag(HubSection section);

}  // namespace tavlo
