// The play-time display painted from a skin: which glyphs land where, with and without some of
// the skin's bitmaps.

#include <QJsonArray>
#include <QWidget>

#include <gtest/gtest.h>

#include "controls/digital_clock.h"
#include "tests/support/test_skin.h"

namespace tavio_ui {
namespace {

using testsupport::ColorAt;
using testsupport::Render;
using testsupport::TestSkin;

// Each glyph is a box of its own colour, so a pixel tells which glyph was drawn there.
const char* DigitColor(int d) {
  static const char* colors[] = {"#000010", "#000011", "#000012", "#000013", "#000014",
                                 "#000015", "#000016", "#000017", "#000018", "#000019"};
  return colors[d];
}

class DigitalClockTest : public ::testing::Test {
 protected:
  void LoadSkin(bool withColon) {
    QJsonObject bitmaps;
    for (int d = 0; d < 10; ++d) {
      const std::string file = "d" + std::to_string(d) + ".svg";
      skin.AddSvgBox(file, 10, 16, DigitColor(d));
      bitmaps[QStringLiteral("Digital%1").arg(d)] = QString::fromStdString(file);
    }
    skin.AddSvgBox("colon.svg", 4, 16, "#c0c000");
    skin.AddSvgBox("minus.svg", 6, 16, "#c000c0");
    skin.AddSvgBox("back.svg", 8, 8, "#203040");
    if (withColon) bitmaps["DigitalTimeColon"] = "colon.svg";
    bitmaps["DigitalTimeMinus"] = "minus.svg";
    bitmaps["DigitalTimeBackground"] = "back.svg";
    // The glyphs are shared attributes of the skin, as the program's skin keeps them.
    ASSERT_TRUE(skin.Load(QJsonObject{
        {"attributes", QJsonObject{{"bitmaps", bitmaps}}},
        {"entries", QJsonObject{{"PlayTime", QJsonObject{{"rect", QJsonArray{0, 0, 80, 20}}}}}}}));
    clock.SetName(L"PlayTime");
    clock.SetTransparent(true);
  }

  // The glyphs found left to right along the middle row: each run of one glyph colour holds as
  // many glyphs as its width allows.
  std::string Glyphs(const QImage& image) {
    std::string out;
    int x = 0;
    while (x < image.width()) {
      const std::string c = ColorAt(image, x, 8);
      int run = 1;
      while (x + run < image.width() && ColorAt(image, x + run, 8) == c) ++run;
      x += run;
      char glyph = 0;
      int width = 10;
      if (c == "#c0c000") {
        glyph = ':';
        width = 4;
      } else if (c == "#c000c0") {
        glyph = '-';
        width = 6;
      } else if (c.rfind("#00001", 0) == 0) {
        glyph = c[6];
      }
      if (glyph) out.append(static_cast<size_t>(run / width), glyph);
    }
    return out;
  }

  TestSkin skin;
  DigitalClock clock;
};

TEST_F(DigitalClockTest, ShowsTheTimeAsPackedGlyphsOverTheBackground) {
  LoadSkin(true);
  EXPECT_EQ(Glyphs(Render(clock)), "00:00");

  clock.SetSeconds(-75);
  EXPECT_EQ(clock.GetTimeText(), L"-01:15");
  QImage image = Render(clock);
  EXPECT_EQ(Glyphs(image), "-01:15");
  // minus 6, two digits of 10, colon 4: the second 1 starts at 30, the 5 at 40.
  EXPECT_EQ(ColorAt(image, 30, 8), DigitColor(1));
  EXPECT_EQ(ColorAt(image, 49, 8), DigitColor(5));
  EXPECT_EQ(ColorAt(image, 50, 8), "#203040");  // the background fills the rest
  EXPECT_EQ(ColorAt(image, 60, 18), "#203040");

  clock.SetSeconds(3601);
  EXPECT_EQ(Glyphs(Render(clock)), "01:00:01");

  // The generic control text is not what the display draws.
  clock.SetText(L"12:34");
  EXPECT_EQ(Glyphs(Render(clock)), "01:00:01");
  EXPECT_EQ(clock.GetSeconds(), 3601);
}

TEST_F(DigitalClockTest, ASkinWithoutColonPacksTheDigits) {
  LoadSkin(false);
  clock.SetSeconds(75);
  const QImage image = Render(clock);
  EXPECT_EQ(Glyphs(image), "0115");
  EXPECT_EQ(ColorAt(image, 20, 8), DigitColor(1));
  EXPECT_EQ(ColorAt(image, 39, 8), DigitColor(5));
}

TEST_F(DigitalClockTest, ANewSkinReplacesTheGlyphsEvenByNone) {
  LoadSkin(true);
  clock.SetSeconds(75);
  ASSERT_EQ(Glyphs(Render(clock)), "01:15");

  ASSERT_TRUE(skin.Load(QJsonObject{
      {"entries", QJsonObject{{"PlayTime", QJsonObject{{"rect", QJsonArray{0, 0, 80, 20}}}}}}}));
  const QImage image = Render(clock);
  ASSERT_EQ(image.width(), 80);
  for (int x = 0; x < image.width(); ++x) EXPECT_EQ(ColorAt(image, x, 8), "none") << x;
  EXPECT_EQ(clock.GetTimeText(), L"01:15");

  void* out = nullptr;
  EXPECT_TRUE(clock.AsClass(L"DigitalTime", &out));
  EXPECT_EQ(out, &clock);
}

}  // namespace
}  // namespace tavio_ui
