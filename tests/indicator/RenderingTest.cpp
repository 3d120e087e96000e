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

QImage renderBubble(BubbleState state, bool hover, double phase, qreal ratio) {
    QImage image(static_cast<int>(46 * ratio), static_cast<int>(46 * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintDrawing(painter, bubbleDrawing(state, hover, phase, {0, 0, 46, 46}));
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

Picture bubble(const std::string& name, BubbleState state, bool hover = false, double phase = 0) {
    return {"bubble-" + name, [=](qreal ratio) { return renderBubble(state, hover, phase, ratio); }};
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
    ::testing::Values(bubble("idle", BubbleState::idle), bubble("idle-hover", BubbleState::idle, true),
                      bubble("listening", BubbleState::listening),
                      // Later in the animation: bars of other heights.
                      bubble("listening-phase2.1", BubbleState::listening, false, 2.1),
                      bubble("processing", BubbleState::processing), bubble("success", BubbleState::success),
                      bubble("error", BubbleState::error), status(BubbleState::idle), status(BubbleState::listening),
                      status(BubbleState::processing), status(BubbleState::success), status(BubbleState::error),
                      appMark(26), appMark(64)),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(StatusIcon, OffersTheImageAtOneAndTwoTimes) {
    testing::ensureOffscreenApplication();
    const QIcon icon = SorvelIcon::statusIcon(BubbleState::idle);
    EXPECT_EQ(icon.pixmap(QSize(18, 18), 1.0).size(), QSize(18, 18));
    EXPECT_EQ(icon.pixmap(QSize(18, 18), 2.0).size(), QSize(36, 36));
    EXPECT_FALSE(SorvelIcon::appIcon().isNull());
}

}  // namespace
}  // namespace tavlo
