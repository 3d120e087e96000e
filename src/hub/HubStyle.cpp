#include "hub/HubStyle.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

#include "hub/HubPalette.h"

namespace tavlo::hub {

QLabel* styledLabel(const QString& text, int points, QFont::Weight weight, const Colour& colour) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPixelSize(points);  // sizes are in logical pixels, as the layout's widths are
    font.setWeight(weight);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(css(colour)));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* messageLabel(const QString& text, bool isError) {
    auto* label = styledLabel(QString(), 12, QFont::Medium, HubPalette::signalMuted);
    label->setWordWrap(true);
    setMessage(label, text, isError);
    return label;
}

void setMessage(QLabel* label, const QString& text, bool isError) {
    label->setText(isError && !text.isEmpty() ? QStringLiteral("\u26a0 ") + text : text);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;")
                             .arg(css(isError ? HubPalette::errorText : HubPalette::signalMuted)));
    // Screen readers hear that it is an error, not only see its colour.
    label->setAccessibleDescription(isError ? QStringLiteral("Error") : QString());
}

QFrame* signalPanel(QWidget* content, bool grows) {
    auto* panel = new QFrame;
    panel->setObjectName(QStringLiteral("signalPanel"));
    panel->setMinimumWidth(600);
    panel->setSizePolicy(QSizePolicy::Expanding, grows ? QSizePolicy::Expanding : QSizePolicy::Maximum);
    panel->setStyleSheet(QStringLiteral("QFrame#signalPanel { background: %1; border: 1px solid %2; border-radius: 10px; }")
                             .arg(css(HubPalette::signalPanel), css(HubPalette::signalBorder)));
    auto* shadow = new QGraphicsDropShadowEffect(panel);
    shadow->setColor(qtColour(HubPalette::panelShadow));
    shadow->setBlurRadius(22);
    shadow->setOffset(0, 12);
    panel->setGraphicsEffect(shadow);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->addWidget(content, grows ? 1 : 0);
    if (!grows) layout->addStretch(1);
    return panel;
}

QWidget* signalControlLine(const QString& label, QWidget* control) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* title = styledLabel(label, 12, QFont::Medium, HubPalette::signalMuted);
    title->setFixedWidth(92);
    layout->addWidget(title, 0, Qt::AlignVCenter);
    layout->addWidget(control, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    // Screen readers name each control by the row's label, not by its value
    // ("On-device", "Off"), unless the view named it already.
    QList<QWidget*> controls{control};
    controls += control->findChildren<QWidget*>();
    for (QWidget* widget : controls) {
        // On Linux a screen reader names a drop-down by the label it is
        // "labelled by" (its value is its name there). Qt relates a label
        // only to its siblings: a drop-down beside the row's label gets it,
        // one nested deeper carries its name in its description.
        if (qobject_cast<QComboBox*>(widget)) {
            if (widget == control && !title->buddy())
                title->setBuddy(widget);
            else if (widget->accessibleDescription().isEmpty())
                widget->setAccessibleDescription(widget->accessibleName().isEmpty() ? label : widget->accessibleName());
        }
        if (!widget->accessibleName().isEmpty()) continue;
        if (qobject_cast<QComboBox*>(widget)) {
            widget->setAccessibleName(label);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->isCheckable())
                widget->setAccessibleName(label);
            else
                widget->setAccessibleName(button->text() + QStringLiteral(" (") + label + QLatin1Char(')'));
        }
    }
    return line;
}

void HubComboBox::paintEvent(QPaintEvent* event) {
    QComboBox::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(isEnabled() ? qtColour(HubPalette::text) : qtColour(HubPalette::text.withAlpha(0.4)));
    pen.setWidthF(1.6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    const QPointF centre(width() - 13.0, height() / 2.0);
    const QPointF points[3] = {centre + QPointF(-4, -2), centre + QPointF(0, 2), centre + QPointF(4, -2)};
    painter.drawPolyline(points, 3);
}

QComboBox* popup(int width) {
    auto* box = new HubComboBox;
    box->setFixedSize(width, 28);
    // A list as tall as the screen hides where it starts; with the style
    // sheet's "combobox-popup: 0" the list honours the count.
    box->setMaxVisibleItems(12);
    box->setStyleSheet(QStringLiteral(
        "QComboBox { color: %1; background: %2; border: 1px solid %3; border-radius: 6px; padding: 0 24px 0 8px; "
        "combobox-popup: 0; }"
        "QComboBox QAbstractItemView { color: %1; background: %2; selection-background-color: %4; }"
        "QComboBox::drop-down { border: none; width: 22px; }"
        "QComboBox::down-arrow { image: none; width: 0; height: 0; }")
                           .arg(css(HubPalette::text), css(HubPalette::field), css(HubPalette::border),
                                css(HubPalette::text.withAlpha(0.2))) +
                       focusRule("QComboBox"));
    return box;
}

void styleSignalSmallButton(QPushButton* button, int width) {
    QFont font = button->font();
    font.setPixelSize(12);
    font.setWeight(QFont::DemiBold);
    button->setFont(font);
    // Never narrower than its label with room on both sides, whatever the
    // font: a label touching the border reads as clipped.
    const int labelWidth = QFontMetrics(font).horizontalAdvance(button->text()) + 2 * 12;
    button->setFixedSize(std::max(width, labelWidth), 30);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { color: %1; background: transparent; border: 1px solid %2; border-radius: 7px; }"
        "QPushButton:hover { background: %3; }"
        "QPushButton:pressed { background: %4; }"
        "QPushButton:disabled { color: %5; }")
                              .arg(css(HubPalette::signalText), css(HubPalette::signalBorder),
                                   css(HubPalette::signalText.withAlpha(0.06)),
                                   css(HubPalette::signalText.withAlpha(0.14)),
                                   css(HubPalette::signalText.withAlpha(0.35))) +
                          focusRule("QPushButton"));
}

void showIf(QWidget* widget, bool shown) {
    if (!shown)
        widget->hide();
    else if (widget->parentWidget())
        widget->show();
}

QString focusRule(const char* selector) {
    return QStringLiteral("%1:focus { border: 2px solid %2; }").arg(QLatin1String(selector), css(HubPalette::focusRing));
}

QPushButton* smallButton(const QString& title, int width) {
    auto* button = new QPushButton(title);
    styleSignalSmallButton(button, width);
    return button;
}

void styleSignalTextField(QLineEdit* field) {
    QFont font = field->font();
    font.setPixelSize(13);
    field->setFont(font);
    field->setFixedHeight(30);
    field->setStyleSheet(QStringLiteral(
        "QLineEdit { color: %1; background: %2; border: 1px solid %3; border-radius: 7px; padding: 0 8px; }")
                             .arg(css(HubPalette::signalText), css(HubPalette::signalField),
                                  css(HubPalette::signalBorder)) +
                         focusRule("QLineEdit"));
}

void scrollableText(HubTextView* view, int height, bool editable) {
    view->setReadOnly(!editable);
    view->setTextInteractionFlags(editable ? Qt::TextEditorInteraction
                                           : Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setPreferredHeight(height);
    view->setMinimumHeight(std::min(height, 60));
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont font = view->font();
    font.setPixelSize(13);
    view->setFont(font);
    view->setStyleSheet(QStringLiteral(
        "QPlainTextEdit { color: %1; background: %2; border: 1px solid %3; border-radius: 8px; padding: 4px; }")
                            .arg(css(HubPalette::text), css(HubPalette::field), css(HubPalette::border)) +
                        focusRule("QPlainTextEdit"));
}

QPushButton* choiceButton(const QString& title, bool selected) {
    auto* button = new QPushButton(title);
    button->setFixedSize(72, 28);
    button->setCheckable(true);
    button->setChecked(selected);
    QFont font = button->font();
    font.setPixelSize(12);
    font.setWeight(selected ? QFont::Bold : QFont::DemiBold);
    button->setFont(font);
    button->setCursor(Qt::PointingHandCursor);
    if (selected)
        button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %2; "
                                             "border-radius: 7px; }")
                                  .arg(css(HubPalette::signalSurface), css(HubPalette::signalText)) +
                              focusRule("QPushButton"));
    else
        button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3; "
                                             "border-radius: 7px; }")
                                  .arg(css(HubPalette::signalText), css(HubPalette::signalAccent.withAlpha(0.11)),
                                       css(HubPalette::signalBorder)) +
                              focusRule("QPushButton"));
    return button;
}

QWidget* divider() {
    auto* line = new QWidget;
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: %1;").arg(css(HubPalette::signalBorder)));
    return line;
}

QWidget* row(std::initializer_list<QWidget*> children, int spacing) {
    auto* container = new QWidget;
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* child : children) layout->addWidget(child, 0, Qt::AlignVCenter);
    return container;
}

}  // namespace tavlo::hub
