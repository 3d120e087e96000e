#include "hub/HubWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QTableWidget>
#include <QVBoxLayout>

#include "hub/HubPalette.h"
#include "hub/HubQuestionBox.h"
#include "hub/HubStyle.h"
#include "hub/HubTheme.h"
#include "hub/model/HubTexts.h"
#include "indicator/SorvelIcon.h"

namespace tavlo::hub {

HubWindow::HubWindow(std::unique_ptr<HubViewModel> model, std::shared_ptr<KeyEventSource> desktopKeys)
    : model_(std::move(model)), desktopKeys_(std::move(desktopKeys)) {
    setWindowTitle(qtText(HubText::windowTitle));
    setObjectName(QStringLiteral("hubWindow"));
    // Small enough for a 1280 x 720 screen at 150 % (853 x 480 logical
    // pixels with the title bar); the content scrolls below that height.
    setMinimumSize(minimumWindowSize);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(true);
    setPalette(hubPalette());

    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    auto* sidebar = new QWidget;
    sidebar->setFixedWidth(156);
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(14, 18, 14, 18);
    sidebarLayout->setSpacing(6);
    root->addWidget(sidebar);
    auto* contentArea = new QWidget;
    auto* contentAreaLayout = new QVBoxLayout(contentArea);
    contentAreaLayout->setContentsMargins(0, 0, 0, 0);
    auto* scroller = new QScrollArea;
    scroller->setObjectName(QStringLiteral("contentScroller"));
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    content_ = new QWidget;
    content_->setObjectName(QStringLiteral("content"));
    contentLayout_ = new QVBoxLayout(content_);
    // Room around the panel for its shadow.
    contentLayout_->setContentsMargins(24, 22, 24, 22);
    contentLayout_->setSpacing(0);
    scroller->setWidget(content_);
    scroller->viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
    contentAreaLayout->addWidget(scroller);
    root->addWidget(contentArea, 1);

    parking_ = new QWidget(this);
    parking_->hide();
    historySearchField_ = new QLineEdit(parking_);
    historyTable_ = new QTableWidget(parking_);
    historyDetailTextView_ = new HubTextView(parking_);
    dictionaryTextView_ = new HubTextView(parking_);
    fileTranscriptTextView_ = new HubTextView(parking_);
    snippetsList_ = new QListWidget(parking_);
    dictionaryField_ = new QLineEdit(parking_);
    snippetPhraseField_ = new QLineEdit(parking_);
    snippetExpansionField_ = new HubTextView(parking_);

    buildSidebar(sidebarLayout);

    HubViewCallbacks callbacks;
    callbacks.render = [this](HubSection section) { render(section); };
    callbacks.refresh = [this] { refresh(); };
    callbacks.historyChanged = [this] { refreshHistory(); };
    callbacks.whisperDownloadProgressed = [this] { refreshWhisperDownload(); };
    model_->setViewCallbacks(std::move(callbacks));

    // Keys typed in this window reach the capture through the desktop's key
    // reports; here they are only kept from the focused field while a
    // capture runs (and Escape always, as it only ends captures here).
    qApp->installEventFilter(this);
    // The usual keys of a Linux window: Ctrl+W closes it (asking about
    // unsaved changes), Ctrl+Q quits the program as the tray's Quit does.
    auto* closeKey = new QShortcut(QKeySequence::Close, this);
    connect(closeKey, &QShortcut::activated, this, [this] { close(); });
    auto* quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quitKey, &QShortcut::activated, this, [this] {
        if (close()) QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    });
    startDesktopKeys();
    model_->render(HubSection::home);

    // The usual size where it fits, else the screen's free area.
    QSize size = preferredWindowSize;
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        size = size.boundedTo(area.size() - QSize(0, titleBarAllowance)).expandedTo(minimumWindowSize);
        resize(size);
        move(area.center() - QPoint(width() / 2, height() / 2));
    } else {
        resize(size);
    }
}

HubWindow::~HubWindow() {
    qApp->removeEventFilter(this);
    if (desktopKeys_) desktopKeys_->stop();
    model_->setViewCallbacks({});
}

void HubWindow::buildSidebar(QVBoxLayout* layout) {
    auto* brand = new QWidget;
    auto* brandLayout = new QHBoxLayout(brand);
    brandLayout->setContentsMargins(0, 0, 0, 0);
    brandLayout->setSpacing(9);
    auto* mark = new QLabel;
    const qreal ratio = devicePixelRatioF();
    QPixmap markImage = QPixmap::fromImage(SorvelIcon::appMark(26, ratio));
    markImage.setDevicePixelRatio(ratio);
    mark->setPixmap(markImage);
    mark->setFixedSize(26, 26);
    brandLayout->addWidget(mark, 0, Qt::AlignVCenter);
    brandLayout->addWidget(styledLabel(qtText(HubText::brandName), 20, QFont::Bold, HubPalette::signalText), 0,
                           Qt::AlignVCenter);
    brandLayout->addStretch(1);
    layout->addWidget(brand);
    layout->addWidget(styledLabel(qtText(HubText::tagline), 11, QFont::Medium, HubPalette::signalMuted));
    layout->addSpacing(12);

    for (std::size_t tag = 0; tag < sidebarSections.size(); ++tag) {
        auto* button = new QPushButton(qtText(sectionTitle(sidebarSections[tag])));
        button->setObjectName(QStringLiteral("sectionButton"));
        button->setFixedSize(128, 30);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, [this, tag] {
            if (mayLeaveDictionary()) model_->sectionSelected(int(tag));
        });
        sectionButtons_[int(tag)] = button;
        layout->addWidget(button);
    }
    layout->addStretch(1);

    // The two sections without a sidebar button are reached from here, set
    // apart from the four main ones and never lit.
    for (const HubSection section : {HubSection::snippets, HubSection::shortcuts}) {
        auto* link = new QPushButton(qtText(sectionTitle(section)));
        link->setObjectName(QStringLiteral("sidebarLink"));
        link->setFixedSize(128, 24);
        link->setCursor(Qt::PointingHandCursor);
        QFont font = link->font();
        font.setPixelSize(12);
        font.setWeight(QFont::Medium);
        link->setFont(font);
        link->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: transparent; border: none; "
                                           "text-align: left; padding-left: 10px; }"
                                           "QPushButton:hover { color: %2; }")
                                .arg(css(HubPalette::muted), css(HubPalette::text)) +
                            focusRule("QPushButton"));
        connect(link, &QPushButton::clicked, this, [this, section] {
            if (mayLeaveDictionary()) model_->render(section);
        });
        layout->addWidget(link);
    }
}

QPushButton* HubWindow::sectionButton(int tag) const {
    const auto found = sectionButtons_.find(tag);
    return found == sectionButtons_.end() ? nullptr : found->second;
}

void HubWindow::updateSidebarSelection() {
    for (const auto& [tag, button] : sectionButtons_) {
        const bool on = model_->isSidebarButtonOn(tag);
        QFont font = button->font();
        font.setPixelSize(13);
        font.setWeight(on ? QFont::DemiBold : QFont::Medium);
        button->setFont(font);
        button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: none; "
                                             "border-radius: 7px; text-align: left; padding-left: 10px; }")
                                  .arg(css(on ? HubPalette::accent : HubPalette::text),
                                       on ? css(HubPalette::selected) : QStringLiteral("transparent")) +
                              focusRule("QPushButton"));
    }
}

void HubWindow::parkReusableViews() {
    for (QWidget* view : std::initializer_list<QWidget*>{historySearchField_, historyTable_, historyDetailTextView_,
                                                         dictionaryTextView_, fileTranscriptTextView_,
                                                         snippetsList_, dictionaryField_, snippetPhraseField_,
                                                         snippetExpansionField_})
        view->setParent(parking_);
}

namespace {

// What identifies a control across a rebuild of its section: its class,
// object name, accessible name and title, else its class and position.
QString focusKey(QWidget* widget, QWidget* root) {
    QString key = QLatin1String(widget->metaObject()->className()) + QLatin1Char('|') + widget->objectName() +
                  QLatin1Char('|') + widget->accessibleName();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return key + QLatin1Char('|') + button->text();
    if (!widget->objectName().isEmpty() || !widget->accessibleName().isEmpty()) return key;
    const auto same = root->findChildren<QWidget*>();
    int index = 0;
    for (QWidget* candidate : same) {
        if (candidate == widget) break;
        if (candidate->metaObject() == widget->metaObject()) ++index;
    }
    return QLatin1String(widget->metaObject()->className()) + QLatin1Char('#') + QString::number(index);
}

}  // namespace

void HubWindow::render(HubSection section) {
    updateSidebarSelection();
    // Each rendering rebuilds the section: the control the user acted on is
    // found again by its key and keeps the keyboard focus, rather than the
    // focus falling back to the sidebar's first button.
    QWidget* focused = QApplication::focusWidget();
    QWidget* keptFocus = nullptr;
    QString focusedKey;
    if (focused && currentSection_ && currentSection_->isAncestorOf(focused)) {
        focusedKey = focusKey(focused, currentSection_);
        keptFocus = focused;
    }
    parkReusableViews();
    // The old content may hold the button whose click led here: it goes
    // once that click is over.
    if (currentSection_) {
        contentLayout_->removeWidget(currentSection_);
        currentSection_->hide();
        currentSection_->setParent(nullptr);
        currentSection_->deleteLater();
    }
    currentSection_ = new QWidget;
    auto* stack = new QVBoxLayout(currentSection_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(14);
    if (showsTitleRow(section)) {
        stack->addWidget(styledLabel(qtText(sectionTitle(section)), 22, QFont::DemiBold, HubPalette::text));
        const std::string subtitleText = section == HubSection::shortcuts
                                             ? model_->shortcuts().subtitle()
                                             : std::string(sectionSubtitle(section).value_or(""));
        auto* subtitle = styledLabel(qtText(subtitleText), 13, QFont::Normal,
                                     HubPalette::signalMuted);
        subtitle->setWordWrap(true);
        subtitle->setMaximumHeight(subtitle->fontMetrics().lineSpacing() * 2 + 2);
        stack->addWidget(subtitle);
    }
    QWidget* view = nullptr;
    switch (section) {
        case HubSection::home: view = homeView(); break;
        case HubSection::history: view = historyView(); break;
        case HubSection::dictionary: view = dictionaryView(); break;
        case HubSection::snippets: view = snippetsView(); break;
        case HubSection::transcribe: view = transcribeView(); break;
        case HubSection::shortcuts: view = shortcutsView(); break;
    }
    // Lists and texts take the height the window gives; the settings keep
    // theirs and scroll when the window is shorter.
    const bool grows = section != HubSection::home && section != HubSection::shortcuts;
    QFrame* panel = signalPanel(view, grows);
    // The scroll area gives a section no less than this; below it the rows
    // would be squeezed and their buttons cut.
    if (!grows) panel->setMinimumHeight(panel->sizeHint().height());
    stack->addWidget(panel, grows ? 1 : 0);
    if (!grows) stack->addStretch(1);
    contentLayout_->addWidget(currentSection_);
    // The scroll area asks its wrapped lines for their height at the current
    // width and may come out short: a settings section states its height,
    // so a shorter window scrolls instead of squeezing it.
    const QMargins margins = contentLayout_->contentsMargins();
    content_->setMinimumHeight(grows ? 0 : currentSection_->sizeHint().height() + margins.top() + margins.bottom());
    if (!focusedKey.isEmpty()) {
        // A reusable view is the same object again; a rebuilt control is matched by its key.
        QWidget* target = currentSection_->isAncestorOf(keptFocus) ? keptFocus : nullptr;
        for (QWidget* candidate : currentSection_->findChildren<QWidget*>()) {
            if (target) break;
            if (candidate->focusPolicy() != Qt::NoFocus && focusKey(candidate, currentSection_) == focusedKey)
                target = candidate;
        }
        if (target) target->setFocus(Qt::OtherFocusReason);
    }
}

void HubWindow::refresh() {
    refreshing_ = true;
    if (historySearchField_->text() != qtText(model_->history().query()))
        historySearchField_->setText(qtText(model_->history().query()));
    refreshing_ = false;
    refreshHistory();
    dictionaryTextView_->setPlainText(qtText(model_->dictionary().text()));
    fileTranscriptTextView_->setPlainText(qtText(model_->transcribe().transcriptViewText()));
    const int selectedSnippet = snippetsList_->currentRow();
    snippetsList_->clear();
    for (const std::string& row : model_->snippets().rows()) snippetsList_->addItem(qtText(row));
    if (selectedSnippet >= 0 && selectedSnippet < snippetsList_->count()) snippetsList_->setCurrentRow(selectedSnippet);
}

void HubWindow::refreshHistory() {
    refreshing_ = true;
    HistoryViewModel& history = model_->history();
    historyTable_->clearSelection();
    historyTable_->setRowCount(int(history.rowCount()));
    for (std::size_t index = 0; index < history.rowCount(); ++index) {
        const auto row = history.row(index);
        if (!row) continue;
        auto* time = new QTableWidgetItem(qtText(row->time));
        time->setForeground(qtColour(HubPalette::muted));
        QFont timeFont = historyTable_->font();
        timeFont.setPixelSize(12);
        timeFont.setStyleHint(QFont::Monospace);
        time->setFont(timeFont);
        auto* summary = new QTableWidgetItem(qtText(row->summary));
        summary->setForeground(qtColour(HubPalette::text));
        QFont summaryFont = historyTable_->font();
        summaryFont.setPixelSize(13);
        summaryFont.setWeight(QFont::Medium);
        summary->setFont(summaryFont);
        historyTable_->setItem(int(index), 0, time);
        historyTable_->setItem(int(index), 1, summary);
    }
    if (const auto selected = history.selectedRow(); selected && *selected < history.rowCount())
        historyTable_->selectRow(int(*selected));
    historyDetailTextView_->setPlainText(qtText(history.detailText()));
    if (auto* empty = content_->findChild<QLabel*>(QStringLiteral("historyNoMatch"))) {
        const std::string message = history.noMatchMessage();
        setMessage(empty, qtText(message), false);
        empty->setVisible(!message.empty());
    }
    refreshing_ = false;
}

void HubWindow::showHub() {
    model_->refresh();
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void HubWindow::showShortcuts() { model_->showShortcuts(); }

bool HubWindow::mayLeaveDictionary() {
    if (model_->selectedSection() != HubSection::dictionary) return true;
    const std::string edited = dictionaryTextView_->toPlainText().toStdString();
    if (!model_->dictionary().hasUnsavedEdits(edited)) return true;
    switch (askHubQuestion(this, DictionaryViewModel::leaveQuestion(), false)) {
    case LeaveAnswer::save: model_->dictionary().saveEdits(edited); return true;
    case LeaveAnswer::discard: dictionaryTextView_->setPlainText(qtText(model_->dictionary().text())); return true;
    case LeaveAnswer::cancel: return false;
    }
    return false;
}

void HubWindow::closeEvent(QCloseEvent* event) {
    if (!mayLeaveDictionary()) {
        event->ignore();
        return;
    }
    const auto question = model_->closeQuestion();
    if (!question) {
        model_->windowClosed();
        event->accept();
        return;
    }
    QMessageBox box(QMessageBox::Warning, qtText(HubText::windowTitle), qtText(question->message),
                    QMessageBox::NoButton, this);
    box.setInformativeText(qtText(question->informativeText));
    std::map<QAbstractButton*, CloseAnswer> answers;
    for (const auto& button : question->buttons) {
        const auto role = button.answer == CloseAnswer::save      ? QMessageBox::AcceptRole
                          : button.answer == CloseAnswer::discard ? QMessageBox::DestructiveRole
                                                                  : QMessageBox::RejectRole;
        answers[box.addButton(qtText(button.title), role)] = button.answer;
    }
    box.exec();
    const auto chosen = answers.find(box.clickedButton());
    const CloseAnswer answer = chosen == answers.end() ? CloseAnswer::cancel : chosen->second;
    if (model_->answerCloseQuestion(answer)) {
        model_->windowClosed();
        event->accept();
    } else {
        event->ignore();
    }
}

bool HubWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == historyTable_ && !model_->capture().isActive() && event->type() == QEvent::KeyPress &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        model_->history().pasteSelected();
        return true;
    }
    if (key->key() == Qt::Key_Escape || model_->capture().isActive()) {
        // Without a desktop key source the capture hears nothing else; Escape
        // at least still ends it.
        if (!desktopKeys_ && key->key() == Qt::Key_Escape && event->type() == QEvent::KeyPress)
            model_->handleShortcutCapture(HubKeyEvent::keyDown(escapeKeyCode, 0));
        event->accept();
        return true;
    }
    return false;
}

void HubWindow::startDesktopKeys() {
    if (!desktopKeys_) return;
    KeyEventHandlers handlers;
    handlers.keyChanged = [this](std::uint32_t keyCode, std::uint32_t modifiers, bool isDown) {
        heldModifiers_ = modifiers;
        if (isDown && keyCode <= 0xffff)
            model_->handleShortcutCapture(
                HubKeyEvent::keyDown(std::uint16_t(keyCode), eventModifierFlags(modifiers, functionKeyDown_)));
    };
    handlers.modifiersChanged = [this](std::uint32_t modifiers) {
        heldModifiers_ = modifiers;
        model_->handleShortcutCapture(HubKeyEvent::modifiersChanged(eventModifierFlags(modifiers, functionKeyDown_)));
    };
    handlers.functionKeyChanged = [this](bool isDown) {
        functionKeyDown_ = isDown;
        model_->handleShortcutCapture(HubKeyEvent::modifiersChanged(eventModifierFlags(heldModifiers_, isDown)));
    };
    desktopKeys_->start(std::move(handlers));
}

}  // namespace tavlo::hub
