// The Home section of the Home window: the draft's controls, drawn afresh
// after every change.
#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "hub/HubPalette.h"
#include "hub/HubStyle.h"
#include "hub/HubWindow.h"
#include "hub/model/HubTexts.h"

namespace tavlo::hub {
namespace {

// A pop-up showing the model's items; `chosen` gets the item's value.
QComboBox* modelPopup(const Popup& model, int width, std::function<void(int index, std::string value)> chosen) {
    QComboBox* box = popup(width);
    for (const PopupItem& item : model.items) {
        box->addItem(qtText(item.title), qtText(item.value));
        if (!item.enabled) {
            // The item stays in the list, greyed out and not choosable.
            box->setItemData(box->count() - 1, QVariant(0), Qt::UserRole - 1);
        }
    }
    if (model.selectedIndex < model.items.size()) box->setCurrentIndex(int(model.selectedIndex));
    if (!model.toolTip.empty()) box->setToolTip(qtText(model.toolTip));
    QObject::connect(box, &QComboBox::activated, box, [box, chosen = std::move(chosen)](int index) {
        chosen(index, box->itemData(index).toString().toStdString());
    });
    return box;
}

// A badge that asks the user to act is drawn in the error colour with a
// warning sign; its tooltip says why.
QWidget* statusBadge(const std::string& text, bool isWarning, const std::string& reason) {
    const Colour colour = isWarning ? HubPalette::errorText : HubPalette::signalAccent;
    auto* badge = styledLabel(isWarning ? QStringLiteral("\u26a0 ") + qtText(text) : qtText(text), 12, QFont::Bold,
                              colour);
    badge->setAlignment(Qt::AlignCenter);
    badge->setContentsMargins(10, 6, 10, 6);
    const int height = badge->sizeHint().height();
    badge->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border: 1px solid %3; border-radius: %4px; }")
                             .arg(css(colour), css(colour.withAlpha(0.14)), css(colour.withAlpha(0.32)))
                             .arg(height / 2));
    badge->setToolTip(qtText(reason));
    badge->setAccessibleName(qtText(text));
    badge->setAccessibleDescription(qtText(reason));
    return badge;
}

}  // namespace

QWidget* HubWindow::triggerRow(const HomeViewModel::TriggerRow& row) {
    auto* container = new QWidget;
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* title = styledLabel(qtText(row.title), 13, QFont::DemiBold, HubPalette::signalText);
    title->setFixedWidth(48);
    auto* detail = messageLabel(qtText(row.detail), row.detailIsError);
    // The detail gives up width to the buttons while a trigger is recorded,
    // so the row stays inside the panel.
    detail->setMinimumWidth(120);
    detail->setWordWrap(true);
    auto* pill = styledLabel(qtText(row.shortcutText), 12, QFont::DemiBold, HubPalette::signalText);
    pill->setObjectName(QStringLiteral("triggerPill"));
    pill->setAlignment(Qt::AlignCenter);
    // Wide enough for the longest key names ("Double-tap Right Ctrl"); the
    // detail text gives up the width.
    pill->setFixedSize(std::max(122, pill->fontMetrics().horizontalAdvance(pill->text()) + 24), 28);
    pill->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border: 1px solid %3; border-radius: 7px; }")
                            .arg(css(HubPalette::signalText), css(HubPalette::signalAccent.withAlpha(0.1)),
                                 css(HubPalette::signalBorder)));
    for (QWidget* child : {static_cast<QWidget*>(title), static_cast<QWidget*>(detail), static_cast<QWidget*>(pill)})
        layout->addWidget(child, 0, Qt::AlignVCenter);
    const int tag = int(row.role);
    for (const auto& button : row.buttons) {
        using Kind = HomeViewModel::TriggerButton::Kind;
        const int width = button.kind == Kind::record ? 72 : button.kind == Kind::cancel ? 64 : 58;
        auto* control = smallButton(qtText(button.title), width);
        control->setEnabled(button.enabled);
        // "Record hold trigger", not two buttons both called "Record".
        control->setAccessibleName(qtText(button.title) + QLatin1Char(' ') + qtText(row.title).toLower() +
                                   QStringLiteral(" trigger"));
        connect(control, &QPushButton::clicked, this, [this, kind = button.kind, tag] {
            HomeViewModel& home = model_->home();
            if (kind == Kind::record) home.recordTrigger(tag);
            else if (kind == Kind::cancel) home.cancelTrigger();
            else home.saveTrigger(tag);
        });
        layout->addWidget(control, 0, Qt::AlignVCenter);
    }
    layout->addStretch(1);
    return container;
}

QWidget* HubWindow::homeView() {
    HomeViewModel& home = model_->home();
    auto* view = new QWidget;
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);

    auto* header = new QWidget;
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(10);
    headerLayout->addWidget(styledLabel(qtText(HubText::homeHeader), 22, QFont::DemiBold, HubPalette::signalText));
    headerLayout->addStretch(1);
    auto* badge = statusBadge(home.statusBadgeText(), home.statusBadgeIsWarning(), home.statusBadgeToolTip());
    badge->setObjectName(QStringLiteral("statusBadge"));
    headerLayout->addWidget(badge, 0, Qt::AlignVCenter);
    stack->addWidget(header);
    stack->addWidget(divider());

    auto* triggers = new QWidget;
    auto* triggerStack = new QVBoxLayout(triggers);
    triggerStack->setContentsMargins(0, 0, 0, 0);
    triggerStack->setSpacing(8);
    for (const auto& row : home.triggerRows()) triggerStack->addWidget(triggerRow(row));
    stack->addWidget(signalControlLine(qtText(HubText::triggersLabel), triggers));

    auto* engine = modelPopup(home.enginePopup(), 152, [this](int index, const std::string&) {
        model_->home().speechModelSelected(index);
    });
    engine->setObjectName(QStringLiteral("enginePopup"));
    auto* language = modelPopup(home.languagePopup(), 252, [this](int, std::string value) {
        model_->home().languageSelected(std::move(value));
    });
    language->setObjectName(QStringLiteral("languagePopup"));
    engine->setAccessibleName(QStringLiteral("Speech engine"));
    language->setAccessibleName(QStringLiteral("Speech language"));
    stack->addWidget(signalControlLine(qtText(HubText::speechLabel), row({engine, language}, 8)));

    if (home.showsWhisperRow()) {
        // Status and button on one line; the model choice, or the progress
        // bar while a download runs, below.
        auto* status = styledLabel(qtText(home.whisperStatusText()), 12, QFont::Medium, HubPalette::signalMuted);
        status->setObjectName(QStringLiteral("whisperStatus"));
        status->setFixedWidth(300);
        status->setToolTip(qtText(home.whisperStatusToolTip()));
        const auto button = home.whisperButton();
        auto* download = smallButton(qtText(button.title), 94);
        download->setObjectName(QStringLiteral("whisperButton"));
        showIf(download, button.visible);
        connect(download, &QPushButton::clicked, this, [this] { model_->home().whisperButtonPressed(); });
        auto* choice = modelPopup(home.whisperModelPopup(), 252, [this](int, std::string value) {
            model_->home().whisperModelSelected(std::move(value));
        });
        choice->setObjectName(QStringLiteral("whisperModelPopup"));
        auto* progress = new QProgressBar;
        progress->setObjectName(QStringLiteral("whisperProgress"));
        progress->setRange(0, 1000);
        progress->setTextVisible(false);
        progress->setFixedSize(252, 8);
        // The part done in the accent colour on a faint track.
        progress->setStyleSheet(QStringLiteral("QProgressBar { background: %1; border: none; border-radius: 4px; }"
                                               "QProgressBar::chunk { background: %2; border-radius: 4px; }")
                                    .arg(css(HubPalette::signalAccent.withAlpha(0.14)), css(HubPalette::signalAccent)));
        const auto fraction = home.whisperProgress();
        progress->setValue(int(fraction.value_or(0) * 1000));
        showIf(progress, fraction.has_value());
        showIf(choice, !fraction.has_value());
        auto* lines = new QWidget;
        auto* linesLayout = new QVBoxLayout(lines);
        linesLayout->setContentsMargins(0, 0, 0, 0);
        linesLayout->setSpacing(6);
        linesLayout->addWidget(row({status, download}, 10), 0, Qt::AlignLeft);
        linesLayout->addWidget(row({choice, progress}, 10), 0, Qt::AlignLeft);
        stack->addWidget(signalControlLine(qtText(HubText::whisperLabel), lines));
    }

    if (home.showsCloudRow()) {
        auto* mode = modelPopup(home.cloudModePopup(), 170, [this](int, std::string value) {
            model_->home().openAICloudModeSelected(std::move(value));
        });
        auto* status = styledLabel(qtText(home.cloudStatusText()), 12, QFont::Medium, HubPalette::signalMuted);
        status->setFixedWidth(168);
        status->setWordWrap(true);
        auto* keyButton = smallButton(qtText(home.apiKeyButtonTitle()), 94);
        showIf(keyButton, home.showsAPIKeyButton());
        keyButton->setToolTip(QStringLiteral("Stored in your keyring at once, without \u201cSave changes\u201d"));
        connect(keyButton, &QPushButton::clicked, this, [this] { askForAPIKey(); });
        stack->addWidget(signalControlLine(qtText(HubText::cloudLabel), row({mode, status, keyButton}, 10)));
    }

    auto* microphone = modelPopup(home.microphonePopup(), 252, [this](int, std::string value) {
        model_->home().microphoneSelected(std::move(value));
    });
    microphone->setObjectName(QStringLiteral("microphonePopup"));
    stack->addWidget(signalControlLine(qtText(HubText::microphoneLabel), microphone));

    auto* cleanup = choiceButton(qtText(home.cleanupButtonTitle()), home.cleanupButtonSelected());
    cleanup->setObjectName(QStringLiteral("cleanupButton"));
    connect(cleanup, &QPushButton::clicked, this, [this] { model_->home().toggleCleanup(); });
    stack->addWidget(signalControlLine(qtText(HubText::cleanupLabel), cleanup));

    auto* storage = modelPopup(home.storagePopup(), 160, [this](int, std::string value) {
        model_->home().storageSelected(std::move(value));
    });
    stack->addWidget(signalControlLine(qtText(HubText::historyLabel), storage));

    auto* frequency = modelPopup(home.updateFrequencyPopup(), 120, [this](int, std::string value) {
        model_->home().updateFrequencySelected(std::move(value));
    });
    auto* checkNow = smallButton(qtText(HubText::checkNowButton), 94);
    connect(checkNow, &QPushButton::clicked, this, [this] { model_->home().checkForUpdates(); });
    auto* automatic = styledLabel(qtText(HubText::automaticChecksNote), 12, QFont::Medium, HubPalette::signalMuted);
    stack->addWidget(signalControlLine(qtText(HubText::updatesLabel), row({frequency, checkNow, automatic}, 10)));

    auto* saveRow = new QWidget;
    auto* saveLayout = new QHBoxLayout(saveRow);
    saveLayout->setContentsMargins(0, 0, 0, 0);
    saveLayout->setSpacing(8);
    saveLayout->addStretch(1);
    auto* revert = smallButton(qtText(HubText::revertButton), 72);
    revert->setObjectName(QStringLiteral("revertButton"));
    revert->setEnabled(home.saveRowEnabled());
    connect(revert, &QPushButton::clicked, this, [this] { model_->home().revertChanges(); });
    auto* save = smallButton(qtText(home.saveButtonTitle()), 108);
    save->setObjectName(QStringLiteral("saveButton"));
    save->setEnabled(home.saveRowEnabled());
    connect(save, &QPushButton::clicked, this, [this] { model_->home().saveChanges(); });
    saveLayout->addWidget(revert);
    saveLayout->addWidget(save);
    stack->addWidget(saveRow);

    // Below the save row and set apart: what acts the moment it is changed,
    // so it does not look as if "Save changes" were needed for it.
    stack->addWidget(divider());
    auto* immediate = styledLabel(qtText(HubText::appliesImmediatelyCaption), 11, QFont::DemiBold,
                                  HubPalette::signalMuted);
    immediate->setObjectName(QStringLiteral("appliesImmediately"));
    stack->addWidget(immediate);
    auto* login = choiceButton(qtText(home.loginButtonTitle()), home.loginButtonSelected());
    login->setObjectName(QStringLiteral("loginButton"));
    login->setToolTip(QStringLiteral("Start Tavlo when you log in"));
    connect(login, &QPushButton::clicked, this, [this] { model_->home().toggleStartAtLogin(); });
    stack->addWidget(signalControlLine(qtText(HubText::loginLabel), login));

    return view;
}

void HubWindow::askForAPIKey() {
    const APIKeyDialog question = model_->home().apiKeyDialog();
    raise();
    activateWindow();
    // A plain dialog laid out as on other Linux desktops: the texts, the
    // field, a line for a failure, then the buttons; no question-mark icon.
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("apiKeyDialog"));
    dialog.setWindowTitle(qtText(question.message));
    auto* layout = new QVBoxLayout(&dialog);
    layout->setSpacing(10);
    auto* heading = new QLabel(qtText(question.message));
    QFont headingFont = heading->font();
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    layout->addWidget(heading);
    auto* explanation = new QLabel(qtText(question.informativeText));
    explanation->setWordWrap(true);
    layout->addWidget(explanation);
    auto* field = new QLineEdit;
    field->setEchoMode(QLineEdit::Password);
    field->setPlaceholderText(qtText(question.placeholder));
    field->setMinimumWidth(420);
    field->setObjectName(QStringLiteral("apiKeyField"));
    field->setAccessibleName(QStringLiteral("OpenAI API key"));
    layout->addWidget(field);
    auto* error = new QLabel;
    error->setObjectName(QStringLiteral("apiKeyError"));
    error->setWordWrap(true);
    error->setStyleSheet(QStringLiteral("color: %1;").arg(css(HubPalette::errorText)));
    error->hide();
    layout->addWidget(error);
    auto* buttons = new QDialogButtonBox;
    for (const auto& button : question.buttons) {
        const auto role = button.answer == APIKeyAnswer::saveKey    ? QDialogButtonBox::AcceptRole
                          : button.answer == APIKeyAnswer::clearKey ? QDialogButtonBox::DestructiveRole
                                                                    : QDialogButtonBox::RejectRole;
        QPushButton* pushButton = buttons->addButton(qtText(button.title), role);
        if (button.answer == APIKeyAnswer::saveKey) pushButton->setDefault(true);
        connect(pushButton, &QPushButton::clicked, &dialog, [this, &dialog, field, error, answer = button.answer] {
            const std::string failure = model_->home().answerAPIKeyDialog(answer, field->text().toStdString());
            if (failure.empty()) {
                dialog.done(0);
                return;
            }
            // The dialog stays open with the key still typed, so the user
            // can unlock the keyring and press Save again.
            error->setText(QStringLiteral("\u26a0 ") + qtText(failure));
            error->show();
            field->setFocus();
        });
    }
    layout->addWidget(buttons);
    field->setFocus();
    dialog.exec();
    field->clear();
}

void HubWindow::refreshWhisperDownload() {
    HomeViewModel& home = model_->home();
    if (auto* status = content_->findChild<QLabel*>(QStringLiteral("whisperStatus")))
        status->setText(qtText(home.whisperStatusText()));
    if (auto* progress = content_->findChild<QProgressBar*>(QStringLiteral("whisperProgress"))) {
        progress->setValue(int(home.whisperProgress().value_or(0) * 1000));
        // Without a text the bar does not always ask to be drawn again by itself.
        progress->update();
    }
}

}  // namespace tavlo::hub
