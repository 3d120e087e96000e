// The History, Dictionary and Snippets sections of the Home window: lists
// kept by the settings store, shown in views that are made once and reused.
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextCursor>
#include <QVBoxLayout>

#include "hub/HubPalette.h"
#include "hub/HubQuestionBox.h"
#include "hub/HubStyle.h"
#include "hub/HubWindow.h"
#include "hub/model/HubTexts.h"

namespace tavlo::hub {

QWidget* HubWindow::historyView() {
    auto* view = new QWidget;
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(10);

    // Set up once: the views are reused by every rendering.
    if (historyTable_->columnCount() == 0) {
        historySearchField_->setPlaceholderText(qtText(HubText::historySearchPlaceholder));
        historySearchField_->setObjectName(QStringLiteral("historySearch"));
        styleSignalTextField(historySearchField_);
        connect(historySearchField_, &QLineEdit::textEdited, this, [this](const QString& text) {
            model_->history().searchChanged(text.toStdString());
        });

        historyTable_->setObjectName(QStringLiteral("historyTable"));
        historyTable_->setColumnCount(2);
        historyTable_->horizontalHeader()->hide();
        historyTable_->verticalHeader()->hide();
        historyTable_->setColumnWidth(0, 150);
        historyTable_->horizontalHeader()->setStretchLastSection(true);
        historyTable_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        historyTable_->verticalHeader()->setDefaultSectionSize(30);
        historyTable_->setShowGrid(false);
        historyTable_->setWordWrap(false);
        historyTable_->setTextElideMode(Qt::ElideRight);
        historyTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
        historyTable_->setSelectionMode(QAbstractItemView::SingleSelection);
        historyTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // The list and the entry share the height the window gives them.
        historyTable_->setMinimumHeight(120);
        historyTable_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        historyTable_->setStyleSheet(QStringLiteral(
            "QTableWidget { background: %1; border: 1px solid %2; border-radius: 8px; }"
            "QTableWidget::item { padding: 0 8px; border: none; }"
            "QTableWidget::item:selected { background: %3; }")
                                         .arg(css(HubPalette::signalField), css(HubPalette::border),
                                              css(HubPalette::text.withAlpha(0.16))) +
                                     focusRule("QTableWidget"));
        connect(historyTable_, &QTableWidget::itemSelectionChanged, this, [this] {
            if (refreshing_) return;
            const auto rows = historyTable_->selectionModel()->selectedRows();
            model_->history().selectionChanged(rows.isEmpty() ? std::nullopt
                                                              : std::optional<std::size_t>(rows.front().row()));
            historyDetailTextView_->setPlainText(qtText(model_->history().detailText()));
        });
        // A click only selects and shows the entry: pasting sends the text to
        // whatever window is behind, so it takes a deliberate act (a double
        // click here, Enter in the table, or "Paste selected").
        connect(historyTable_, &QTableWidget::cellDoubleClicked, this,
                [this](int, int) { model_->history().pasteSelected(); });
        scrollableText(historyDetailTextView_, 130, false);
        historyDetailTextView_->setObjectName(QStringLiteral("historyDetail"));
    }
    stack->addWidget(historySearchField_);
    // Said in words when the list is empty, above where the rows would be.
    auto* empty = messageLabel(qtText(model_->history().noMatchMessage()), false);
    empty->setObjectName(QStringLiteral("historyNoMatch"));
    showIf(empty, !model_->history().noMatchMessage().empty());
    stack->addWidget(empty);
    // "Expand all" gives the entries most of the height.
    const bool expanded = model_->history().isExpandedAll();
    stack->addWidget(historyTable_, expanded ? 1 : 3);
    stack->addWidget(historyDetailTextView_, expanded ? 4 : 2);
    historySearchField_->show();
    historyTable_->show();
    historyDetailTextView_->show();

    HistoryViewModel& history = model_->history();
    auto* paste = smallButton(qtText(HubText::pasteSelectedButton), 104);
    connect(paste, &QPushButton::clicked, this, [this] { model_->history().pasteSelected(); });
    auto* copy = smallButton(qtText(HubText::copySelectedButton), 104);
    connect(copy, &QPushButton::clicked, this, [this] { model_->history().copySelected(); });
    auto* remove = smallButton(qtText(HubText::deleteSelectedButton), 108);
    connect(remove, &QPushButton::clicked, this, [this] {
        const auto question = model_->history().deleteQuestion();
        if (question && askHubQuestion(this, *question, true) == ConfirmAnswer::confirm)
            model_->history().deleteSelected();
    });
    auto* clear = smallButton(qtText(HubText::clearHistoryButton), 92);
    connect(clear, &QPushButton::clicked, this, [this] {
        const auto question = model_->history().clearQuestion();
        if (question && askHubQuestion(this, *question, true) == ConfirmAnswer::confirm) model_->history().clear();
    });
    auto* expand = smallButton(qtText(history.expandButtonTitle()), 92);
    expand->setObjectName(QStringLiteral("expandButton"));
    connect(expand, &QPushButton::clicked, this, [this, expand] {
        model_->history().toggleExpand();
        // Drawn again so the entries get their share of the height; the
        // focus stays on the button, now titled the other way.
        model_->render(HubSection::history);
        if (auto* again = content_->findChild<QPushButton*>(QStringLiteral("expandButton")))
            again->setFocus(Qt::OtherFocusReason);
    });
    stack->addWidget(row({paste, copy, remove, clear, expand}, 8), 0, Qt::AlignLeft);
    return view;
}

QWidget* HubWindow::dictionaryView() {
    auto* view = new QWidget;
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    if (dictionaryField_->placeholderText().isEmpty()) {
        dictionaryField_->setPlaceholderText(qtText(HubText::dictionaryFieldPlaceholder));
        dictionaryField_->setObjectName(QStringLiteral("dictionaryField"));
        styleSignalTextField(dictionaryField_);
        // On a line of its own, as wide as the panel, so its hint shows whole.
        dictionaryField_->setMinimumWidth(
            dictionaryField_->fontMetrics().horizontalAdvance(dictionaryField_->placeholderText()) + 24);
        dictionaryField_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        dictionaryField_->setToolTip(dictionaryField_->placeholderText());
        connect(dictionaryField_, &QLineEdit::returnPressed, this, [this] {
            if (model_->dictionary().addWord(dictionaryField_->text().toStdString())) dictionaryField_->clear();
        });
        scrollableText(dictionaryTextView_, 280, true);
        dictionaryTextView_->setObjectName(QStringLiteral("dictionaryText"));
    }
    auto* add = smallButton(qtText(HubText::addButton), 62);
    connect(add, &QPushButton::clicked, this, [this] {
        if (model_->dictionary().addWord(dictionaryField_->text().toStdString())) dictionaryField_->clear();
    });
    auto* save = smallButton(qtText(HubText::saveEditsButton), 82);
    connect(save, &QPushButton::clicked, this,
            [this] { model_->dictionary().saveEdits(dictionaryTextView_->toPlainText().toStdString()); });
    auto* remove = smallButton(qtText(HubText::deleteButton), 82);
    connect(remove, &QPushButton::clicked, this, [this] {
        const QString text = dictionaryTextView_->toPlainText();
        const int start = dictionaryTextView_->textCursor().selectionStart();
        const auto cursor = model_->dictionary().deleteLine(text.toStdString(), std::size_t(std::max(0, start)));
        if (!cursor) return;
        QTextCursor place = dictionaryTextView_->textCursor();
        place.setPosition(std::min(int(*cursor), int(dictionaryTextView_->toPlainText().size())));
        dictionaryTextView_->setTextCursor(place);
    });
    auto* clear = smallButton(qtText(HubText::clearButton), 64);
    connect(clear, &QPushButton::clicked, this, [this] {
        const auto question = model_->dictionary().clearQuestion();
        if (question && askHubQuestion(this, *question, true) == ConfirmAnswer::confirm) model_->dictionary().clear();
    });
    dictionaryField_->show();
    stack->addWidget(dictionaryField_);
    stack->addWidget(row({add, save, remove, clear}, 8), 0, Qt::AlignLeft);
    auto* note = styledLabel(qtText(HubText::dictionaryNote), 12, QFont::Medium, HubPalette::signalMuted);
    note->setWordWrap(true);
    stack->addWidget(note);
    dictionaryTextView_->show();
    stack->addWidget(dictionaryTextView_, 1);
    return view;
}

QWidget* HubWindow::snippetsView() {
    auto* view = new QWidget;
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    if (snippetPhraseField_->placeholderText().isEmpty()) {
        snippetPhraseField_->setPlaceholderText(qtText(HubText::snippetPhrasePlaceholder));
        snippetPhraseField_->setObjectName(QStringLiteral("snippetPhrase"));
        snippetPhraseField_->setAccessibleName(QStringLiteral("Spoken phrase"));
        styleSignalTextField(snippetPhraseField_);
        snippetPhraseField_->setFixedWidth(150);
        // Several lines: an expansion may be a signature or a template.
        scrollableText(snippetExpansionField_, 58, true);
        snippetExpansionField_->setPlaceholderText(qtText(HubText::snippetExpansionPlaceholder));
        snippetExpansionField_->setObjectName(QStringLiteral("snippetExpansion"));
        snippetExpansionField_->setAccessibleName(QStringLiteral("Text it inserts"));
        snippetExpansionField_->setTabChangesFocus(true);
        snippetsList_->setObjectName(QStringLiteral("snippetsList"));
        snippetsList_->setAccessibleName(QStringLiteral("Snippets"));
        snippetsList_->setMinimumHeight(120);
        snippetsList_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        snippetsList_->setStyleSheet(QStringLiteral(
            "QListWidget { color: %1; background: %2; border: 1px solid %3; border-radius: 8px; padding: 4px; }"
            "QListWidget::item { padding: 4px 6px; }"
            "QListWidget::item:selected { background: %4; color: %1; }")
                                         .arg(css(HubPalette::text), css(HubPalette::field), css(HubPalette::border),
                                              css(HubPalette::text.withAlpha(0.16))) +
                                     focusRule("QListWidget"));
        // Choosing a snippet puts it in the fields, to change with Save.
        connect(snippetsList_, &QListWidget::currentRowChanged, this, [this](int row) {
            if (row < 0) return;
            if (const auto snippet = model_->snippets().snippet(std::size_t(row))) {
                snippetPhraseField_->setText(qtText(snippet->phrase));
                snippetExpansionField_->setPlainText(qtText(snippet->expansion));
            }
        });
    }
    auto* add = smallButton(qtText(HubText::addButton), 68);
    connect(add, &QPushButton::clicked, this, [this] {
        if (model_->snippets().addSnippet(snippetPhraseField_->text().toStdString(),
                                          snippetExpansionField_->toPlainText().toStdString())) {
            snippetPhraseField_->clear();
            snippetExpansionField_->clear();
            snippetsList_->setCurrentRow(snippetsList_->count() - 1);
        }
    });
    auto* save = smallButton(QStringLiteral("Save"), 68);
    save->setToolTip(QStringLiteral("Replace the chosen snippet with the phrase and text above"));
    connect(save, &QPushButton::clicked, this, [this] {
        const int row = snippetsList_->currentRow();
        if (row < 0) return QApplication::beep();
        model_->snippets().updateSnippet(std::size_t(row), snippetPhraseField_->text().toStdString(),
                                         snippetExpansionField_->toPlainText().toStdString());
    });
    auto* remove = smallButton(qtText(HubText::deleteButton), 72);
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = snippetsList_->currentRow();
        const auto question = row < 0 ? std::nullopt : model_->snippets().deleteQuestion(std::size_t(row));
        if (!question) return QApplication::beep();
        if (askHubQuestion(this, *question, true) != ConfirmAnswer::confirm) return;
        model_->snippets().deleteSnippet(std::size_t(row));
        snippetPhraseField_->clear();
        snippetExpansionField_->clear();
    });
    auto* reset = smallButton(qtText(HubText::resetButton), 72);
    connect(reset, &QPushButton::clicked, this, [this] {
        if (askHubQuestion(this, model_->snippets().resetQuestion(), true) == ConfirmAnswer::confirm)
            model_->snippets().reset();
    });
    snippetPhraseField_->show();
    snippetExpansionField_->show();
    stack->addWidget(row({snippetPhraseField_, snippetExpansionField_}, 8));
    stack->addWidget(row({add, save, remove, reset}, 8), 0, Qt::AlignLeft);
    snippetsList_->show();
    stack->addWidget(snippetsList_, 1);
    return view;
}

}  // namespace tavlo::hub
