// The bubble's rectangle and its stored text form.
#include "settings/SettingsStoreFixture.h"
#include "base/BubbleFrameText.h"

namespace tavlo::testing {
namespace {

struct Written {
    Rect rect;
    const char* text;
};

class RectTextForm : public ::testing::TestWithParam<Written> {};

TEST_P(RectTextForm, ShortestDecimalNumbersAndBack) {
    EXPECT_EQ(rectText(GetParam().rect), GetParam().text);
    EXPECT_EQ(rectFromText(GetParam().text), GetParam().rect);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, RectTextForm,
    ::testing::Values(Written{{1200, 80, 220, 64}, "{{1200, 80}, {220, 64}}"},
                      Written{{-1920.5, 0.25, 220, 64}, "{{-1920.5, 0.25}, {220, 64}}"},
                      Written{{0.1, 1e-7, 1e21, 3}, "{{0.1, 1e-07}, {1e+21, 3}}"},
                      Written{{-0.0, 0, 10, 10}, "{{0, 0}, {10, 10}}"}));

TEST(RectFromText, ReadsAbsentForAllZeroOrAnythingElse) {
    EXPECT_EQ(rectFromText(" { {1,2} ,{3 , 4} } "), (Rect{1, 2, 3, 4}));
    for (const char* text : {"{{0, 0}, {0, 0}}", "{{-0, 0}, {0, 0}}", "", "{{1, 2}, {3}}", "{{1, 2}, {3, 4}",
                             "{{1, 2}, {3, 4}} x", "1 2 3 4", "{{nan, 2}, {3, 4}}", "{{inf, 2}, {3, 4}}",
                             "{{1e999, 2}, {3, 4}}", "{{0x10, 2}, {3, 4}}"})
        EXPECT_EQ(rectFromText(text), std::nullopt) << text;
}

TEST_F(SettingsStoreTest, BubbleFrameIsStoredAsTextAndAbsentRemovesTheKey) {
    SettingsStore& store = open();
    EXPECT_EQ(store.bubbleFrame(), std::nullopt);
    store.setBubbleFrame(Rect{1200, 80, 220, 64});
    EXPECT_EQ(preferences.string("bubbleFrame"), "{{1200, 80}, {220, 64}}");
    EXPECT_EQ(store.bubbleFrame(), (Rect{1200, 80, 220, 64}));

    store.setBubbleFrame(std::nullopt);
    EXPECT_FALSE(preferences.object("bubbleFrame").has_value());

    preferences.set("bubbleFrame", std::string("{{0, 0}, {0, 0}}"));
    EXPECT_EQ(store.bubbleFrame(), std::nullopt);
}

}  // namespace
}  // namespace tavlo::testing
