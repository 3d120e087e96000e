#include "hub/HubTheme.h"

#include <QApplication>
#include <QStyleFactory>

#include "hub/HubPalette.h"

namespace tavlo::hub {

QPalette hubPalette() {
    QPalette colours;
    // Every group alike: a dialog in the background must not turn light.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Window, qtColour(HubPalette::window));
        colours.setColor(group, QPalette::WindowText, qtColour(HubPalette::text));
        colours.setColor(group, QPalette::Base, qtColour(HubPalette::field));
        colours.setColor(group, QPalette::AlternateBase, qtColour(HubPalette::signalPanel));
        colours.setColor(group, QPalette::Text, qtColour(HubPalette::text));
        colours.setColor(group, QPalette::Button, qtColour(HubPalette::signalPanel));
        colours.setColor(group, QPalette::ButtonText, qtColour(HubPalette::text));
        colours.setColor(group, QPalette::BrightText, qtColour(HubPalette::errorText));
        colours.setColor(group, QPalette::Highlight, qtColour(HubPalette::focusRing.withAlpha(0.45)));
        colours.setColor(group, QPalette::HighlightedText, qtColour(HubPalette::text));
        colours.setColor(group, QPalette::PlaceholderText, qtColour(HubPalette::muted.withAlpha(0.7)));
        colours.setColor(group, QPalette::ToolTipBase, qtColour(HubPalette::signalPanel));
        colours.setColor(group, QPalette::ToolTipText, qtColour(HubPalette::text));
        colours.setColor(group, QPalette::Link, qtColour(HubPalette::focusRing));
        colours.setColor(group, QPalette::Light, qtColour(Colour::white(0.22, 1)));
        colours.setColor(group, QPalette::Midlight, qtColour(Colour::white(0.16, 1)));
        colours.setColor(group, QPalette::Mid, qtColour(Colour::white(0.12, 1)));
        colours.setColor(group, QPalette::Dark, qtColour(Colour::white(0.03, 1)));
        colours.setColor(group, QPalette::Shadow, qtColour(Colour::white(0, 1)));
    }
    colours.setColor(QPalette::Disabled, QPalette::Window, qtColour(HubPalette::window));
    colours.setColor(QPalette::Disabled, QPalette::Base, qtColour(HubPalette::field));
    colours.setColor(QPalette::Disabled, QPalette::Button, qtColour(HubPalette::signalPanel));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, qtColour(HubPalette::text.withAlpha(0.4)));
    colours.setColor(QPalette::Disabled, QPalette::Highlight, qtColour(HubPalette::text.withAlpha(0.12)));
    return colours;
}

void applyHubTheme(QApplication& application) {
    // The desktop's own style may draw from its theme's images rather than
    // the palette, which would leave light pieces in the dark windows.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    QApplication::setPalette(hubPalette());
    (void)application;
}

}  // namespace tavlo::hub
