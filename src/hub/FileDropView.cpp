#include "hub/FileDropView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "hub/HubPalette.h"
#include "hub/HubStyle.h"
#include "hub/model/HubTexts.h"

namespace tavlo::hub {

FileDropView::FileDropView(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("fileDrop"));
    setAcceptDrops(true);
    setFixedHeight(118);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setStyleSheet(QStringLiteral("QFrame#fileDrop { background: %1; border: 1px solid %2; border-radius: 10px; }")
                      .arg(css(HubPalette::signalField), css(HubPalette::signalBorder)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 0, 18, 0);
    layout->setSpacing(6);
    layout->addStretch(1);
    auto* title = styledLabel(QString::fromUtf8(HubText::dropTitle.data(), qsizetype(HubText::dropTitle.size())), 15, QFont::DemiBold, HubPalette::signalText);
    auto* detail = styledLabel(QString::fromUtf8(HubText::dropDetail.data(), qsizetype(HubText::dropDetail.size())), 12, QFont::Medium,
                               HubPalette::signalMuted);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(detail, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

std::vector<std::filesystem::path> FileDropView::fileURLs(const QMimeData* data) {
    std::vector<std::filesystem::path> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files.emplace_back(url.toLocalFile().toStdString());
    return files;
}

void FileDropView::dragEnterEvent(QDragEnterEvent* event) {
    if (fileURLs(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDropView::dragMoveEvent(QDragMoveEvent* event) {
    if (fileURLs(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDropView::dropEvent(QDropEvent* event) {
    const auto files = fileURLs(event->mimeData());
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (onFileDropped) onFileDropped(files.front());
}

}  // namespace tavlo::hub
