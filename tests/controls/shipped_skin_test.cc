// The controls under the program's own skin, at the sizes the main window gives them: the figures
// the artwork has to meet for the controls to be usable.

#include <string>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "controls/digital_clock.h"
#include "controls/section_track_bar.h"
#include "controls/spin_edit_foloat.h"
#include "ui/skin_manager.h"

namespace tavio_ui {
namespace {

constexpr int kWaveformStretchesForTest = 2048;

class ShippedSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(skin.Load(SONACLIP_SKIN_FILE, false)) << skin.error();
    RegisterSkinManager(&skin);
  }
  void TearDown() override { UnRegisterSkinManager(); }

  SkinManager skin;
};

TEST_F(ShippedSkinTest, MarkersHangBelowTheTrackWhereTheyCanBeGrabbed) {
  SectionTrackBar bar;
  bar.SetName(L"SonaclipTrackBar");
  bar.SetRange(0, 1000);
  bar.SetSectionStart(250);
  bar.SetSectionEnd(750);
  bar.widget()->show();

  const CRect track = bar.GetTrackRect();
  const CRect thumb = bar.GetThumbRect();
  EXPECT_GE(thumb.top, 0);
  EXPECT_LE(thumb.bottom, track.bottom);
  for (const CRect& marker : {bar.GetStartMarkerRect(), bar.GetEndMarkerRect()}) {
    // A press on the track takes the thumb, so only the part below it holds the marker.
    EXPECT_GE(marker.bottom - track.bottom, 10);
    EXPECT_GE(marker.Width(), 10);
    EXPECT_LE(marker.bottom, bar.GetHeight());
  }

  const CRect start = bar.GetStartMarkerRect();
  const QPoint grip((start.left + start.right) / 2, (track.bottom + start.bottom) / 2);
  QTest::mousePress(bar.widget(), Qt::LeftButton, Qt::NoModifier, grip);
  EXPECT_EQ(bar.GetStartMarkerState(), SectionTrackBar::PartPressed);
  EXPECT_EQ(bar.GetThumbState(), SectionTrackBar::PartNormal);
  EXPECT_EQ(bar.GetSectionStart(), 250);  // grabbed where it was: the pointer's centre is the value
  QTest::mouseRelease(bar.widget(), Qt::LeftButton, Qt::NoModifier, grip);
}

// The waveform shows around the thin groove, in the section's colour inside the section and the
// other one outside; the groove and the thumb stay on top.
TEST_F(ShippedSkinTest, TheWaveformShowsAroundTheGrooveInTheSectionsColour) {
  SectionTrackBar bar;
  bar.SetName(L"SonaclipTrackBar");
  bar.SetRange(0, 1000);
  bar.SetSectionStart(500);
  bar.SetSectionEnd(1000);
  bar.widget()->show();
  TrackWaveform loud;
  loud.channels = 1;
  loud.peaks.assign(kWaveformStretchesForTest, WavePeak{-30000, 30000});
  bar.SetWaveform(loud);
  QImage image(bar.widget()->size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  bar.widget()->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  const CRect track = bar.GetTrackRect();
  const int centre = track.top + track.Height() / 2;
  SkColor section = 0;
  SkColor rest = 0;
  ASSERT_TRUE(bar.GetSkinItem()->ReadColorAttribute("waveSection", &section));
  ASSERT_TRUE(bar.GetSkinItem()->ReadColorAttribute("waveRest", &rest));
  auto at = [&](int x, int y) { return image.pixel(x, y) | 0xFF000000u; };
  const int outside = track.left + track.Width() / 4;
  const int inside = track.left + track.Width() * 5 / 8;
  EXPECT_EQ(at(outside, centre - track.Height() / 3), rest | 0xFF000000u);
  EXPECT_EQ(at(inside, centre + track.Height() / 3), section | 0xFF000000u);
  EXPECT_NE(at(inside, centre), section | 0xFF000000u) << "the groove is not over the waveform";
}

TEST_F(ShippedSkinTest, TheLongestTimeFitsThePlayTimeDisplay) {
  DigitalClock clock;
  clock.SetName(L"PlayTime");
  ASSERT_GT(clock.GetWidth(), 0);
  std::array<int, kDigitalGlyphCount> widths;
  const wchar_t* names[] = {L"Digital0", L"Digital1", L"Digital2", L"Digital3",
                            L"Digital4", L"Digital5", L"Digital6", L"Digital7",
                            L"Digital8", L"Digital9", L"DigitalTimeColon", L"DigitalTimeMinus"};
  for (int i = 0; i < kDigitalGlyphCount; ++i) {
    auto bitmap = clock.GetSkinItem()->ReadBitmapAttribute(names[i]);
    ASSERT_TRUE(bitmap) << i;
    EXPECT_LE(bitmap->height(), clock.GetHeight());
    widths[i] = bitmap->width();
  }
  // Past one hour the display shows hours; up to 99:59:59 all of it stays inside the control.
  for (const wchar_t* text : {L"00:00", L"59:59", L"99:59:59", L"08:08:08"}) {
    const auto placed = PackDigitalGlyphs(text, widths);
    ASSERT_FALSE(placed.empty());
    EXPECT_LE(placed.back().x + widths[placed.back().glyph], clock.GetWidth())
        << QString::fromWCharArray(text).toStdString();
  }
}

TEST_F(ShippedSkinTest, SectionTimesShowWholeBesideTheButtons) {
  struct Field {
    const wchar_t* name;
    bool tenths;
    int widest;
  } fields[] = {{L"EditStartSec", true, 59999}, {L"EditEndSec", true, 59999},
                {L"EditStartMin", false, 999}, {L"EditEndMin", false, 999}};
  for (const Field& f : fields) {
    SpinEditFoloat edit;
    edit.SetName(f.name);
    edit.SetShowTenths(f.tenths);
    edit.SetValue(f.widest);
    edit.widget()->show();
    QApplication::processEvents();
    const std::string name = QString::fromWCharArray(f.name).toStdString();

    const CRect up = edit.upButtonForTesting()->GetPos();
    const CRect down = edit.downButtonForTesting()->GetPos();
    EXPECT_GE(up.top, 0) << name;
    EXPECT_LE(down.bottom, edit.GetHeight()) << name;
    EXPECT_EQ(up.bottom - 1, down.top) << name;

    QLineEdit* line = edit.lineEdit();
    EXPECT_LE(line->geometry().right(), up.left) << name;
    const int needed = QFontMetrics(line->font()).horizontalAdvance(line->text());
    // QLineEdit keeps two pixels of its own on either side of the text.
    EXPECT_LE(needed + 4, line->contentsRect().width()) << name << " " << line->text().toStdString();
  }
}

}  // namespace
}  // namespace tavio_ui
