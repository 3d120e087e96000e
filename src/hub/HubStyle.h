#pragma once
// The building blocks every section of the Home window is made of, so the
// sections share one look: panels, labelled rows, pop-ups, buttons, fields.
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <string_view>

#include "indicator/model/Drawing.h"

namespace tavlo::hub {

// A label in the system font at `points`, with the given weight and colour.
QLabel* styledLabel(const QString& text, int points, QFont::Weight weight, const Colour& colour);
// A status or message line: errors in the error colour behind a warning
// sign (so they do not rest on colour alone), other lines muted.
QLabel* messageLabel(const QString& text, bool isError);
void setMessage(QLabel* label, const QString& text, bool isError);
// A panel at least 600 wide around `content`, with the panel's border,
// rounded corners and soft shadow. It widens with the window, and grows in
// height too when `grows` (lists and texts), else keeps its content's height.
QFrame* signalPanel(QWidget* content, bool grows);
// A row: a muted label 92 wide, the control, then free space.
QWidget* signalControlLine(const QString& label, QWidget* control);
// A pop-up menu with a drawn chevron, so it does not pass for a text field
// (the style sheet that colours it leaves the style's arrow out).
class HubComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};
// A pop-up menu 28 high and `width` wide whose list shows at most a dozen
// items and scrolls for the rest.
QComboBox* popup(int width);
void styleSignalSmallButton(QPushButton* button, int width);
QPushButton* smallButton(const QString& title, int width);
// A style rule that draws a 2 px focus ring around `selector` while it has
// the keyboard focus; appended to each control's own style sheet.
QString focusRule(const char* selector);
void styleSignalTextField(QLineEdit* field);
// Hides `widget` when `shown` is false. Showing is left to its parent: a
// widget shown before it has one would open as a window of its own, and
// then be hidden again when it is put in its place.
void showIf(QWidget* widget, bool shown);
// A scrolling text view that asks for a given height, and gives some of it
// up when its panel is short of room.
class HubTextView : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    void setPreferredHeight(int height) { preferredHeight_ = height; updateGeometry(); }
    QSize sizeHint() const override { return {560, preferredHeight_}; }

private:
    int preferredHeight_ = 120;
};

// A text view in the field colour that asks for `height` and grows with
// its panel.
void scrollableText(HubTextView* view, int height, bool editable);
// A two-state button 72 × 28: filled when selected.
QPushButton* choiceButton(const QString& title, bool selected);
// A horizontal line across the panel in the border colour.
QWidget* divider();
// A horizontal row of widgets with the given spacing, centred vertically.
QWidget* row(std::initializer_list<QWidget*> children, int spacing);

}  // namespace tavlo::hub

namespace tavlo::hub {

// Model texts (UTF-8) for Qt.
inline QString qtText(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace tavlo::hub
