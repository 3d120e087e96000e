#include "platform/linux/wayland/QtClipboard.h"

#include <QtGui/QClipboard>
#include <QtGui/QGuiApplication>

namespace tavlo::wayland {
namespace {

QClipboard* clipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

}  // namespace

void QtClipboard::clearContents() {
    if (auto* board = clipboard()) board->clear();
    ++changes_;
}

void QtClipboard::setString(std::string_view text) {
    if (auto* board = clipboard())
        board->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    ++changes_;
}

std::optional<std::string> QtClipboard::string() const {
    auto* board = clipboard();
    if (!board) return std::nullopt;
    const QString text = board->text();
    if (text.isNull()) return std::nullopt;
    return text.toStdString();
}

}  // namespace tavlo::wayland
