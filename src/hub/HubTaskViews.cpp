// The Transcribe and Shortcuts sections of the Home window.
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "hub/FileDropView.h"
#include "hub/HubPalette.h"
#include "hub/HubStyle.h"
#include "hub/HubWindow.h"
#include "hub/RevealFile.h"
#include "hub/model/HubTexts.h"

namespace tavlo::hub {
namespace {

// The chooser offers audio and video first; any file may still be picked,
// as the transcription itself says what it cannot read.
const QStringList mediaFilters{
    QStringLiteral("Audio and video (*.mp3 *.wav *.m4a *.aac *.flac *.ogg *.oga *.opus *.caf *.aif *.aiff *.wma "
                   "*.mp4 *.m4v *.mov *.mkv *.webm *.avi *.wmv *.mpg *.mpeg *.3gp)"),
    QStringLiteral("All files (*)")};

}  // namespace

QWidget* HubWindow::transcribeView() {
    TranscribeViewModel& transcribe = model_->transcribe();
    auto* view = new QWidget;
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);

    auto* drop = new FileDropView;
    drop->setObjectName(QStringLiteral("fileDrop"));
    drop->onFileDropped = [this](const std::filesystem::path& file) { model_->transcribe().filesDropped({file}); };
    stack->addWidget(drop);

    auto* choose = smallButton(qtText(HubText::chooseFileButton), 100);
    connect(choose, &QPushButton::clicked, this, [this] { chooseTranscriptionFile(); });
    auto* copy = smallButton(qtText(HubText::copyTranscriptButton), 118);
    connect(copy, &QPushButton::clicked, this, [this] { model_->transcribe().copyTranscript(); });
    auto* show = smallButton(qtText(HubText::showTranscriptFileButton), 86);
    connect(show, &QPushButton::clicked, this, [this] {
        if (const auto file = model_->transcribe().savedFileToReveal()) revealInFileManager(*file);
    });
    stack->addWidget(row({choose, copy, show}, 8), 0, Qt::AlignLeft);

    auto* status = styledLabel(qtText(transcribe.status()), 12, QFont::Medium, HubPalette::signalMuted);
    status->setObjectName(QStringLiteral("transcribeStatus"));
    status->setWordWrap(true);
    status->setFixedWidth(560);
    stack->addWidget(status);

    if (fileTranscriptTextView_->objectName().isEmpty()) {
        fileTranscriptTextView_->setObjectName(QStringLiteral("fileTranscript"));
        scrollableText(fileTranscriptTextView_, 250, false);
    }
    fileTranscriptTextView_->show();
    stack->addWidget(fileTranscriptTextView_);
    return view;
}

void HubWindow::chooseTranscriptionFile() {
    model_->transcribe().chooseFileRequested();
    raise();
    activateWindow();
    QFileDialog chooser(this, qtText(HubText::chooserTitle));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setLabelText(QFileDialog::Accept, qtText(HubText::chooserPrompt));
    chooser.setNameFilters(mediaFilters);
    if (chooser.exec() != QDialog::Accepted) return;
    const QStringList files = chooser.selectedFiles();
    if (files.isEmpty()) return;
    model_->transcribe().startFileTranscription(std::filesystem::path(files.front().toStdString()));
}

QWidget* HubWindow::shortcutsView() {
    ShortcutsViewModel& shortcuts = model_->shortcuts();
    auto* view = new QWidget;
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    for (const auto& shortcut : shortcuts.rows()) {
        auto* line = new QWidget;
        line->setFixedWidth(560);
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        auto* title = styledLabel(qtText(shortcut.title), 13, QFont::Medium, HubPalette::text);
        title->setFixedWidth(180);
        auto* keys = styledLabel(qtText(shortcut.shortcutText), 12, QFont::Medium,
                                 shortcut.isCapturing ? HubPalette::accent : HubPalette::muted);
        QFont mono = keys->font();
        mono.setFamily(QStringLiteral("monospace"));
        mono.setStyleHint(QFont::Monospace);
        keys->setFont(mono);
        keys->setFixedWidth(175);
        keys->setObjectName(QStringLiteral("shortcutKeys"));
        auto* record = smallButton(qtText(shortcut.recordButtonTitle), 72);
        record->setObjectName(QStringLiteral("recordShortcut"));
        record->setAccessibleName(qtText(shortcut.recordButtonTitle) + QLatin1Char(' ') + qtText(shortcut.title) +
                                  QStringLiteral(" shortcut"));
        connect(record, &QPushButton::clicked, this, [this, tag = shortcut.tag] { model_->shortcuts().recordShortcut(tag); });
        auto* reset = smallButton(qtText(shortcut.resetButtonTitle), 64);
        reset->setAccessibleName(qtText(shortcut.resetButtonTitle) + QLatin1Char(' ') + qtText(shortcut.title) +
                                 QStringLiteral(" shortcut"));
        connect(reset, &QPushButton::clicked, this, [this, tag = shortcut.tag] { model_->shortcuts().resetShortcut(tag); });
        for (QWidget* child : {static_cast<QWidget*>(title), static_cast<QWidget*>(keys), static_cast<QWidget*>(record),
                               static_cast<QWidget*>(reset)})
            layout->addWidget(child, 0, Qt::AlignVCenter);
        layout->addStretch(1);
        stack->addWidget(line);
    }
    stack->addWidget(triggerMechanismView());
    auto* note = styledLabel(qtText(shortcuts.fixedKeysNote()), 12, QFont::Normal, HubPalette::muted);
    note->setWordWrap(true);
    note->setFixedWidth(560);
    stack->addWidget(note);
    const auto status = shortcuts.statusLine();
    auto* statusLabel = styledLabel(qtText(status.text), 12, QFont::Medium,
                                    status.tone == ShortcutsViewModel::StatusTone::red ? HubPalette::signalRed
                                                                                      : HubPalette::muted);
    statusLabel->setObjectName(QStringLiteral("shortcutStatus"));
    statusLabel->setWordWrap(true);
    statusLabel->setFixedWidth(560);
    statusLabel->setMaximumHeight(statusLabel->fontMetrics().lineSpacing() * 3 + 2);
    stack->addWidget(statusLabel);
    return view;
}

QWidget* HubWindow::triggerMechanismView() {
    const auto mechanism = model_->shortcuts().triggerMechanism();
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("triggerMechanism"));
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 4, 0, 0);
    stack->setSpacing(6);
    auto* heading = styledLabel(qtText(mechanism.heading), 12, QFont::Medium,
                                mechanism.tone == ShortcutsViewModel::StatusTone::red ? HubPalette::signalRed
                                                                                     : HubPalette::text);
    heading->setObjectName(QStringLiteral("triggerMechanismHeading"));
    heading->setWordWrap(true);
    heading->setFixedWidth(560);
    stack->addWidget(heading);
    for (const auto& line : mechanism.lines) {
        auto* row = new QWidget;
        row->setFixedWidth(560);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        auto* title = styledLabel(qtText(line.title), 12, QFont::Normal, HubPalette::muted);
        title->setFixedWidth(180);
        // Commands are copied into the compositor's settings: selectable.
        auto* keys = styledLabel(qtText(line.keys), 12, QFont::Medium, HubPalette::text);
        QFont mono = keys->font();
        mono.setFamily(QStringLiteral("monospace"));
        mono.setStyleHint(QFont::Monospace);
        keys->setFont(mono);
        keys->setWordWrap(true);
        keys->setTextInteractionFlags(Qt::TextSelectableByMouse);
        keys->setObjectName(QStringLiteral("boundTrigger"));
        keys->setAccessibleName(qtText(line.title));
        layout->addWidget(title, 0, Qt::AlignTop);
        layout->addWidget(keys, 1, Qt::AlignTop);
        stack->addWidget(row);
    }
    return view;
}

}  // namespace tavlo::hub
