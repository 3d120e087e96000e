// The bubble in every state, the tray's status images and the app mark,
// rendered at 1x and 2x and compared with the reference images beside this
// file, so that any change to the drawing shows. After an intended change,
// run with TAVLO_UPDATE_REFERENCES=1 to write new references, and look at
// them before committing them.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>

#include "IndicatorApplication.h"
#include "indicator/DrawingPainter.h"
#include "indicator/SorvelIcon.h"
#include "indicator/model/BubbleDrawing.h"

namespace tavlo {
namespace {

// Antialiasing may differ by a step or two between Qt builds and CPUs.
constexpr int tolerance = 3;

QImage renderBubble(const BubbleLook& look, qreal ratio) {
    QImage image(static_cast<int>(46 * ratio), static_cast<int>(46 * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintDrawing(painter, bubbleDrawing(look, {0, 0, 46, 46}));
    return image;
}

struct Picture {
    std::string name;
    std::function<QImage(qreal ratio)> render;
    friend void PrintTo(const Picture& picture, std::ostream* out) { *out << picture.name; }
};

class ReferenceImages : public ::testing::TestWithParam<Picture> {
protected:
    void SetUp() override { testing::ensureOffscreenApplication(); }
};

TEST_P(ReferenceImages, MatchAtOneAndTwoTimes) {
    for (qreal ratio : {1.0, 2.0}) {
        const std::string name = GetParam().name + "@" + std::to_string(static_cast<int>(ratio)) + "x";
        const QString path = QString::fromStdString(std::string(TAVLO_TEST_SOURCE_DIR) + "/indicator/reference/" + name + ".png");
        const QImage actual = GetParam().render(ratio).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(actual.width(), qRound(actual.deviceIndependentSize().width() * ratio));
        if (std::getenv("TAVLO_UPDATE_REFERENCES")) {
            ASSERT_TRUE(actual.save(path)) << path.toStdString();
            continue;
        }
        const QImage expected = QImage(path).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(expected.isNull()) << "no reference image " << path.toStdString();
        ASSERT_EQ(actual.size(), expected.size()) << name;
        int worst = 0, differing = 0;
        for (int y = 0; y < actual.height(); ++y)
            for (int x = 0; x < actual.width(); ++x) {
                const QRgb a = actual.pixel(x, y), e = expected.pixel(x, y);
                const int difference = std::max({std::abs(qRed(a) - qRed(e)), std::abs(qGreen(a) - qGreen(e)),
                                                 std::abs(qBlue(a) - qBlue(e)), std::abs(qAlpha(a) - qAlpha(e))});
                worst = std::max(worst, difference);
                if (difference > tolerance) ++differing;
            }
        EXPECT_EQ(differing, 0) << name << ": " << differing << " pixels differ, by up to " << worst;
    }
}

Picture bubble(const std::string& name, BubbleLook look) {
    return {"bubble-" + name, [=](qreal ratio) { return renderBubble(look, ratio); }};
}

Picture status(BubbleState state) {
    return {"status-" + std::string(toString(state)),
            [=](qreal ratio) { return SorvelIcon::statusImage(state, ratio); }};
}

Picture appMark(int size) {
    return {"appmark-" + std::to_string(size), [=](qreal ratio) { return SorvelIcon::appMark(size, ratio); }};
}

INSTANTIATE_TEST_SUITE_P(
    Drawings, ReferenceImages,
    ::testing::Values(bubble("idle", {BubbleState::idle}), bubble("idle-hover", {BubbleState::idle, false, true}),
                      bubble("listening", {BubbleState::listening}),
                      // Later in the animation: bars of other heights.
                      bubble("listening-phase2.1", {BubbleState::listening, false, false, 2.1}),
                      bubble("listening-handsfree", {BubbleState::listening, true}),
                      bubble("processing", {BubbleState::processing}),
                      // The arc a little later: turned.
                      bubble("processing-phase2.1", {BubbleState::processing, false, false, 2.1}),
                      bubble("success", {BubbleState::success}), bubble("error", {BubbleState::error}),
                      // Without a compositor: opaque bodies, no halo.
                      bubble("idle-opaque", {BubbleState::idle, false, false, 0, true}),
                      bubble("listening-opaque", {BubbleState::listening, false, false, 0, true}),
                      status(BubbleState::idle), status(BubbleState::listening),
                      status(BubbleState::processing), status(BubbleState::success), status(BubbleState::error),
                      appMark(26), appMark(64)),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

// Pixels of `icon` laid on a panel of `panel` colour that differ clearly
// from the panel (by a third of the scale in some channel).
int contrastingPixels(const QImage& icon, const QColor& panel) {
    QImage onPanel(icon.size(), QImage::Format_ARGB32_Premultiplied);
    onPanel.fill(panel);
    {
        QPainter painter(&onPanel);
        painter.drawImage(QPoint(0, 0), icon);
    }
    int count = 0;
    for (int y = 0; y < onPanel.height(); ++y)
        for (int x = 0; x < onPanel.width(); ++x) {
            const QRgb pixel = onPanel.pixel(x, y);
            const int difference = std::max({std::abs(qRed(pixel) - panel.red()), std::abs(qGreen(pixel) - panel.green()),
                                             std::abs(qBlue(pixel) - panel.blue())});
            if (difference > 85) ++count;
        }
    return count;
}

TEST(StatusIcon, EveryStateReadsOnLightAndDarkPanels) {
    testing::ensureOffscreenApplication();
    // A panel's light grey, white, a dark theme's grey and black.
    const QColor panels[] = {QColor(235, 235, 235), QColor(255, 255, 255), QColor(48, 48, 48), QColor(0, 0, 0)};
    const BubbleState states[] = {BubbleState::idle, BubbleState::listening, BubbleState::processing,
                                  BubbleState::success, BubbleState::error};
    for (BubbleState state : states) {
        const QImage image = SorvelIcon::statusImage(state, 1);
        for (const QColor& panel : panels)
            // A good part of the 18 x 18 square stands out from the panel.
            EXPECT_GT(contrastingPixels(image, panel), 60) << toString(state) << " on " << panel.name().toStdString();
    }
    // With TAVLO_TRAY_SCREENSHOT set to a file name: the icons at 2x on a
    // light and a dark panel, one row each, for looking at.
    if (const char* file = std::getenv("TAVLO_TRAY_SCREENSHOT")) {
        constexpr int cell = 52;
        QImage sheet(cell * 5, cell * 2, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&sheet);
        for (int row = 0; row < 2; ++row) {
            painter.fillRect(0, row * cell, sheet.width(), cell, row == 0 ? panels[0] : panels[2]);
            for (int column = 0; column < 5; ++column) {
                // The 2x pixels one for one: 36 x 36.
                QImage icon = SorvelIcon::statusImage(states[column], 2);
                icon.setDevicePixelRatio(1);
                painter.drawImage(QPoint(column * cell + 8, row * cell + 8), icon);
            }
        }
        painter.end();
        EXPECT_TRUE(sheet.save(QString::fromUtf8(file)));
    }
}

TEST(StatusIcon, OffersTheImageAtOneAndTwoTimes) {
    testing::ensureOffscreenApplication();
    const QIcon icon = SorvelIcon::statusIcon(BubbleState::idle);
    EXPECT_EQ(icon.pixmap(QSize(18, 18), 1.0).size(), QSize(18, 18));
    EXPECT_EQ(icon.pixmap(QSize(18, 18), 2.0).size(), QSize(36, 36));
    EXPECT_FALSE(SorvelIcon::appIcon().isNull());
}

}  // namespace
}  // namespace tavlo
