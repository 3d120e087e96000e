#include "indicator/BubbleWindow.h"

// Qt before Xlib: X11's macros (Bool, Status, None) break Qt's headers.
#include <QGuiApplication>
#include <QRegion>

#include "indicator/model/BubbleDrawing.h"
#include "platform/linux/x11/X11IndicatorWindow.h"

namespace tavlo {
namespace {

Display* x11Display() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

}  // namespace

BubbleWindow::BubbleWindow(const Rect& frame)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Tavlo"));
    const QSize size(qRound(frame.width), qRound(frame.height));
    setFixedSize(size);
    move(qRound(frame.x), qRound(frame.y));
    bubbleView_ = new BubbleView(this);
    bubbleView_->setGeometry(0, 0, size.width(), size.height());
    // Screen readers name the bubble by what it is; the tooltip (the trigger
    // keys) becomes its description.
    setAccessibleName(QStringLiteral("Tavlo dictation bubble"));
    bubbleView_->setAccessibleName(QStringLiteral("Tavlo dictation bubble"));
}

void BubbleWindow::setToolTip(const std::string& text) {
    const QString tip = QString::fromStdString(text);
    bubbleView_->setToolTip(tip);
    bubbleView_->setAccessibleDescription(tip);
}

void BubbleWindow::showEvent(QShowEvent* event) {
    prepareForShowing();
    QWidget::showEvent(event);
}

void BubbleWindow::setState(BubbleState state) {
    if (isVisible()) followCompositor();
    bubbleView_->setState(state);
}

void BubbleWindow::prepareForShowing() {
    Display* display = x11Display();
    if (!display) return;  // Other platforms composite every window.
    followCompositor();
    x11::keepOnEveryDesktop(display, static_cast<Window>(winId()));
}

void BubbleWindow::followCompositor() {
    Display* display = x11Display();
    if (!display) return;
    const bool composited = x11::compositingManagerRunning(display, DefaultScreen(display));
    bubbleView_->setOpaque(!composited);
    if (composited) {
        clearMask();
    } else {
        const Rect shape = bubbleWindowShape({0, 0, static_cast<double>(width()), static_cast<double>(height())});
        setMask(QRegion(qRound(shape.x), qRound(shape.y), qRound(shape.width), qRound(shape.height), QRegion::Ellipse));
    }
}

}  // namespace tavlo
