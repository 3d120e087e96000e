// Desktop entries as installed packages write them, the lookups that name a
// running application, and which applications are terminals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness/TemporaryDirectory.h"
#include "platform/linux/desktop/DesktopEntry.h"
#include "platform/linux/desktop/TerminalKind.h"
#include "platform/linux/x11/SelectionText.h"

namespace tavlo::desktop {
namespace {

TEST(DesktopEntryTest, TheMainGroupDescribesTheApplication) {
    const auto entry = parseDesktopEntry(
        "# comment\n[Desktop Entry]\nType=Application\nName=Text\\sEditor\nName[de]=Texteditor\n"
        "Name[sr@latin]=Uređivač\nName[pt_BR]=Editor de texto\nExec=env GTK_THEME=dark \"/opt/My Editor/editor\" %F\n"
        "TryExec=editor-bin\nCategories=Utility;TextEditor;\nStartupWMClass=EditorMain\n"
        "[Desktop Action new]\nName=New window\nExec=other\n",
        "org.example.Editor");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Text Editor");
    EXPECT_EQ(entry->categories, (std::vector<std::string>{"Utility", "TextEditor"}));
    EXPECT_EQ(entry->executables, (std::vector<std::string>{"editor", "editor-bin"}));
    EXPECT_EQ(entry->startupWmClass, "EditorMain");

    const std::pair<const char*, const char*> locales[] = {
        {"de_DE.UTF-8", "Texteditor"}, {"de", "Texteditor"},          {"pt_BR.UTF-8", "Editor de texto"},
        {"pt_PT", "Text Editor"},      {"sr_RS@latin", "Uređivač"}, {"C", "Text Editor"},
    };
    for (const auto& [locale, name] : locales) EXPECT_EQ(localizedName(*entry, locale), name) << locale;

    EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nType=Link\nName=Site\n", "link"));
    EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n", "gone"));
    EXPECT_FALSE(parseDesktopEntry("[Other]\nType=Application\nName=Elsewhere\n", "elsewhere"));
}

TEST(DesktopEntryTest, TheIndexFindsEntriesByIdClassAndProgramAndEarlierFoldersWin) {
    testing::TemporaryDirectory home, system;
    auto write = [](const std::filesystem::path& path, const std::string& content) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
    };
    write(home / "org.example.Editor.desktop", "[Desktop Entry]\nType=Application\nName=Mine\nExec=editor\n");
    write(system / "org.example.Editor.desktop", "[Desktop Entry]\nType=Application\nName=Theirs\nExec=editor\n");
    write(home / "hidden-term.desktop", "[Desktop Entry]\nType=Application\nName=X\nHidden=true\n");
    write(system / "hidden-term.desktop", "[Desktop Entry]\nType=Application\nName=Term\nExec=term\n");
    write(system / "kde4/konsole.desktop",
          "[Desktop Entry]\nType=Application\nName=Konsole\nExec=konsole\nCategories=System;TerminalEmulator;\n");
    write(system / "debian-xterm.desktop", "[Desktop Entry]\nType=Application\nName=XTerm\nTryExec=xterm\n"
                                           "Exec=xterm\nStartupWMClass=XTerm\n");
    write(system / "huge.desktop", std::string(100 * 1024, '#'));

    const DesktopEntryIndex index({home.path(), system.path(), "/nonexistent"});
    ASSERT_TRUE(index.byId("org.example.Editor"));
    EXPECT_EQ(index.byId("org.example.Editor")->name, "Mine");
    EXPECT_EQ(index.byId("ORG.EXAMPLE.EDITOR")->name, "Mine");
    EXPECT_EQ(index.byId("hidden-term"), nullptr);  // the user's hidden copy hides the system's
    ASSERT_TRUE(index.byId("kde4-konsole"));
    EXPECT_EQ(index.byExecutable("xterm")->id, "debian-xterm");
    EXPECT_EQ(index.byWmClass("xterm")->id, "debian-xterm");
    EXPECT_EQ(index.byExecutable("nothing"), nullptr);
    EXPECT_EQ(index.byId("huge"), nullptr);
}

TEST(DesktopEntryTest, TerminalsAreToldByNameOrCategory) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> categories;
        TerminalKind expected;
    };
    const Case cases[] = {
        {{"debian-xterm", "xterm", "XTerm", "xterm"}, {"System", "TerminalEmulator"}, TerminalKind::xtermLike},
        {{"debian-uxterm", "uxterm", "UXTerm"}, {}, TerminalKind::xtermLike},
        {{"rxvt-unicode", "urxvt", "URxvt"}, {"TerminalEmulator"}, TerminalKind::xtermLike},
        {{"org.gnome.Terminal", "gnome-terminal-server", "Gnome-terminal"}, {}, TerminalKind::terminal},
        {{"org.kde.konsole"}, {}, TerminalKind::terminal},
        {{"Alacritty"}, {}, TerminalKind::terminal},
        {{"org.wezfurlong.wezterm"}, {}, TerminalKind::terminal},
        {{"st-256color", "st"}, {}, TerminalKind::terminal},
        {{"com.example.NewTerm"}, {"System", "TerminalEmulator"}, TerminalKind::terminal},
        {{"org.gnome.TextEditor", "gedit"}, {"Utility", "TextEditor"}, TerminalKind::notTerminal},
        {{"firefox-esr", "Navigator"}, {"Network"}, TerminalKind::notTerminal},
        {{"test", "mist", "footnotes", "kittycat"}, {}, TerminalKind::notTerminal},
        {{}, {}, TerminalKind::notTerminal},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminalKindOf(c.names, c.categories), c.expected) << (c.names.empty() ? "" : c.names.front());
}

TEST(DesktopEntryTest, SelectionTextEncodings) {
    EXPECT_EQ(x11::latin1FromUtf8("Grüße"), std::string("Gr\xfc\xdf" "e"));
    EXPECT_EQ(x11::latin1FromUtf8("€"), std::nullopt);
    EXPECT_EQ(x11::latin1FromUtf8("bad \xff byte"), std::nullopt);
    EXPECT_EQ(x11::utf8FromLatin1("Gr\xfc\xdf" "e"), "Grüße");
    EXPECT_EQ(x11::wellFormedUtf8("ok \xff\xfe 👋"), "ok \xef\xbf\xbd\xef\xbf\xbd 👋");
    EXPECT_EQ(x11::wellFormedUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace tavlo::desktop
