// The section track bar as the user drives it: real mouse events on a real control over a small
// skin (a 400-pixel track between half thumbs, 16 x 12 thumb, 10 x 9 markers).

#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QJsonArray>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "controls/section_track_bar.h"
#include "tests/support/test_skin.h"

namespace tavio_ui {
namespace {

using testsupport::ColorAt;
using testsupport::Render;
using testsupport::TestSkin;

// Counts the paints the control's widget receives.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

QJsonObject Entry(int width, bool withArrow) {
  QJsonObject bitmaps{{"TrackBarThumbNormal", "thumb.svg"}, {"TrackBarThumbHover", "hover.svg"},
                      {"TrackBarThumbDown", "down.svg"},    {"TrackBarThumbDisable", "off.svg"},
                      {"TrackBarFront", "front.svg"},       {"TrackBarBackground", "back.svg"}};
  if (withArrow) bitmaps["TrackBarArrow"] = "arrow.svg";
  return QJsonObject{{"rect", QJsonArray{0, 0, width, 40}},
                     {"bitmaps", bitmaps},
                     {"sizes", QJsonObject{{"TrackBarThumbSize", QJsonArray{16, 12}}}}};
}

class SectionTrackBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.AddSvgBox("thumb.svg", 16, 12, "#0000ff");
    skin.AddSvgBox("hover.svg", 16, 12, "#00ffff");
    skin.AddSvgBox("down.svg", 16, 12, "#000080");
    skin.AddSvgBox("off.svg", 16, 12, "#808080");
    skin.AddSvgBox("front.svg", 8, 8, "#00ff00");
    skin.AddSvgBox("back.svg", 8, 8, "#ff0000");
    skin.AddSvgBox("arrow.svg", 10, 9, "#ffff00");
    ASSERT_TRUE(skin.Load(QJsonObject{{"entries", QJsonObject{{"Track", Entry(416, true)},
                                                  {"Narrow", Entry(16, true)},
                                                  {"NoArrow", Entry(416, false)}}}}));
    bar = std::make_unique<SectionTrackBar>();
    Name(L"Track");
  }

  void Name(const wchar_t* name) {
    bar->SetName(name);
    bar->SetRange(0, 1000);
    bar->SetThumbReleasedHandler([this](Control* c) { Record(c, "thumb released"); });
    bar->SetThumbPressedHandler([this](Control* c) { Record(c, "thumb pressed"); });
    bar->SetSectionMovedHandler([this](Control* c) { Record(c, "section moved"); });
    bar->SetStartMarkerReleasedHandler([this](Control* c) { Record(c, "start released"); });
    bar->SetEndMarkerReleasedHandler([this](Control* c) { Record(c, "end released"); });
    bar->widget()->show();
  }

  void Record(Control* sender, const char* what) {
    EXPECT_EQ(sender, bar.get());
    events.push_back(what);
  }

  QWidget* w() { return bar->widget(); }
  void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(w(), button, Qt::NoModifier, QPoint(x, y));
  }
  void Release(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseRelease(w(), button, Qt::NoModifier, QPoint(x, y));
  }
  // A move while a button is held (QTest sends it as a real move event).
  void Drag(int x, int y) { QTest::mouseMove(w(), QPoint(x, y)); }
  // A move with no button held: hover.
  void Hover(int x, int y) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), w()->mapToGlobal(QPointF(x, y)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w(), &move);
  }
  void Leave() {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w(), &leave);
  }
  std::vector<std::string> States() {
    const char* names[] = {"normal", "hover", "pressed"};
    return {names[bar->GetThumbState()], names[bar->GetStartMarkerState()],
            names[bar->GetEndMarkerState()]};
  }

  TestSkin skin;
  std::unique_ptr<SectionTrackBar> bar;
  std::vector<std::string> events;
};

using Strings = std::vector<std::string>;

TEST_F(SectionTrackBarTest, LayoutFollowsTheSkinAndTheValues) {
  bar->SetValue(500);
  EXPECT_EQ(bar->GetTrackRect().Width(), 400);
  EXPECT_EQ(bar->GetThumbRect(), CRect(200, 4, 216, 16));
  bar->SetSectionStart(250);
  bar->SetSectionEnd(750);
  EXPECT_EQ(bar->GetStartMarkerRect(), CRect(103, 12, 113, 21));
  EXPECT_EQ(bar->GetEndMarkerRect(), CRect(303, 12, 313, 21));

  // A new size lays the parts out again.
  const CRect wider(0, 0, 816, 40);
  bar->SetPos(&wider);
  EXPECT_EQ(bar->GetThumbRect().left, 400);
  EXPECT_EQ(bar->GetEndMarkerRect().left, 603);
}

TEST_F(SectionTrackBarTest, PaintsTrackSectionThumbAndMarkers) {
  bar->SetSectionStart(250);
  bar->SetSectionEnd(750);
  bar->SetValue(500);
  QImage image = Render(*bar);
  EXPECT_EQ(ColorAt(image, 50, 10), "#ff0000");   // track outside the section
  EXPECT_EQ(ColorAt(image, 150, 10), "#00ff00");  // the section
  EXPECT_EQ(ColorAt(image, 208, 10), "#0000ff");  // thumb
  EXPECT_EQ(ColorAt(image, 108, 20), "#ffff00");  // start marker below the track
  EXPECT_EQ(ColorAt(image, 308, 20), "#ffff00");  // end marker
  EXPECT_EQ(ColorAt(image, 50, 30), "none");      // the lower half is the markers' only

  bar->SetEnabled(false);
  image = Render(*bar);
  EXPECT_EQ(ColorAt(image, 208, 10), "#808080");
}

TEST_F(SectionTrackBarTest, PressOnTheTrackMovesTheThumbAndReportsOnlyPressAndRelease) {
  Press(308, 5);  // three quarters along the track, away from the thumb at 0
  EXPECT_EQ(events, Strings{"thumb pressed"});
  EXPECT_EQ(bar->GetValue(), 750);
  EXPECT_EQ(States(), (Strings{"pressed", "normal", "normal"}));
  EXPECT_TRUE(bar->HasMouseCapture());

  Drag(208, 30);  // the drag follows x wherever y goes
  Drag(-50, 5);   // left of the control counts as 0
  EXPECT_EQ(bar->GetValue(), 0);
  Drag(900, 5);
  EXPECT_EQ(bar->GetValue(), 1000);
  Drag(108, 5);
  EXPECT_EQ(bar->GetValue(), 250);
  EXPECT_EQ(bar->GetSectionStart(), 0);
  EXPECT_EQ(bar->GetSectionEnd(), 1000);
  EXPECT_EQ(events, Strings{"thumb pressed"});

  Release(108, 5);
  EXPECT_EQ(events, (Strings{"thumb pressed", "thumb released"}));
  EXPECT_EQ(States(), (Strings{"normal", "normal", "normal"}));
  EXPECT_FALSE(bar->HasMouseCapture());

  // A press and release that leave the value as it was still report both.
  events.clear();
  Press(108, 5);
  Release(108, 5);
  EXPECT_EQ(events, (Strings{"thumb pressed", "thumb released"}));
}

TEST_F(SectionTrackBarTest, DraggingAMarkerPastTheOtherHandsTheDragOver) {
  bar->SetSectionStart(250);
  bar->SetSectionEnd(750);

  Press(108, 20);  // the start marker, below the track
  EXPECT_EQ(States(), (Strings{"normal", "pressed", "normal"}));
  EXPECT_EQ(bar->GetSectionStart(), 257);  // (108 - 5) * 1000 / 400
  EXPECT_EQ(events, Strings{"section moved"});

  for (int x : {200, 358, 400, 10}) {
    Drag(x, 20);
    EXPECT_LE(bar->GetSectionStart(), bar->GetSectionEnd()) << x;
  }
  // Past the end marker the drag went on as the end marker's, then back over the start.
  EXPECT_EQ(bar->GetSectionStart(), 12);  // (10 - 5) * 1000 / 400
  EXPECT_EQ(bar->GetSectionEnd(), 750);
  EXPECT_EQ(States(), (Strings{"normal", "pressed", "normal"}));

  Drag(358, 20);
  EXPECT_EQ(bar->GetSectionStart(), 750);
  EXPECT_EQ(bar->GetSectionEnd(), 882);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "pressed"}));
  EXPECT_EQ(bar->GetValue(), 0);

  Release(358, 20);
  EXPECT_EQ(events.back(), "end released");
  EXPECT_EQ(std::count(events.begin(), events.end(), "section moved"), 6);
  EXPECT_EQ(std::count(events.begin(), events.end(), "start released"), 0);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "normal"}));
}

TEST_F(SectionTrackBarTest, SettingTheStartPastTheEndLeavesTheEndMarkerInHand) {
  bar->SetSectionStart(250);
  bar->SetSectionEnd(500);
  bar->SetSectionStart(900);
  EXPECT_EQ(bar->GetSectionStart(), 500);
  EXPECT_EQ(bar->GetSectionEnd(), 900);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "pressed"}));

  // The next move drags the end marker, until the pointer leaves.
  Hover(205, 30);
  EXPECT_EQ(bar->GetSectionEnd(), 500);
  EXPECT_EQ(events, Strings{"section moved"});
  Leave();
  Hover(305, 30);
  EXPECT_EQ(bar->GetSectionEnd(), 500);
  EXPECT_EQ(events, Strings{"section moved"});

  // The other way round.
  bar->SetSectionEnd(100);
  EXPECT_EQ(bar->GetSectionStart(), 100);
  EXPECT_EQ(bar->GetSectionEnd(), 500);
  EXPECT_EQ(States(), (Strings{"normal", "pressed", "normal"}));
}

TEST_F(SectionTrackBarTest, RightButtonChangesNothing) {
  bar->SetSectionStart(250);
  bar->SetSectionEnd(750);
  for (QPoint p : {QPoint(308, 5), QPoint(108, 20), QPoint(0, 0)}) {
    Press(p.x(), p.y(), Qt::RightButton);
    EXPECT_FALSE(bar->HasMouseCapture());
    Release(p.x(), p.y(), Qt::RightButton);
  }
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(bar->GetValue(), 0);
  EXPECT_EQ(bar->GetSectionStart(), 250);
  EXPECT_EQ(bar->GetSectionEnd(), 750);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "normal"}));

  // A right release in the middle of a left drag does not end it.
  Press(308, 5);
  Release(308, 5, Qt::RightButton);
  EXPECT_EQ(States(), (Strings{"pressed", "normal", "normal"}));
  Release(308, 5);
  EXPECT_EQ(events, (Strings{"thumb pressed", "thumb released"}));
}

// Every callback may destroy the bar (its owner closing, say); nothing of the bar runs after.
TEST_F(SectionTrackBarTest, ACallbackMayDestroyTheBar) {
  struct Case {
    const char* destroyer;
    int pressX, pressY, releaseX;
  };
  const Case cases[] = {
      {"thumb pressed", 308, 5, 308},
      {"thumb released", 308, 5, 308},
      {"section moved", 108, 20, 150},
      {"start released", 108, 20, 108},
      {"end released", 308, 20, 308},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destroyer);
    bar = std::make_unique<SectionTrackBar>();
    Name(L"Track");
    bar->SetSectionStart(250);
    bar->SetSectionEnd(750);
    QWidget* widget = bar->widget();
    std::vector<std::string> seen;
    auto handler = [&, name = std::string(c.destroyer)](Control*) {
      seen.push_back(name);
      if (name == c.destroyer) bar.reset();
    };
    if (std::string(c.destroyer) == "thumb pressed") bar->SetThumbPressedHandler(handler);
    if (std::string(c.destroyer) == "thumb released") bar->SetThumbReleasedHandler(handler);
    if (std::string(c.destroyer) == "section moved") bar->SetSectionMovedHandler(handler);
    if (std::string(c.destroyer) == "start released") bar->SetStartMarkerReleasedHandler(handler);
    if (std::string(c.destroyer) == "end released") bar->SetEndMarkerReleasedHandler(handler);
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(c.pressX, c.pressY));
    if (bar) QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, QPoint(c.releaseX, c.pressY));
    EXPECT_EQ(bar, nullptr);
    EXPECT_EQ(seen, Strings{c.destroyer});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

TEST_F(SectionTrackBarTest, HoverPrefersTheThumbThenTheStartThenTheEndMarker) {
  bar->SetValue(250);
  bar->SetSectionStart(250);
  bar->SetSectionEnd(250);
  // Thumb (100..116 x 4..16) and both markers (103..113 x 12..21) overlap.
  Hover(108, 14);
  EXPECT_EQ(States(), (Strings{"hover", "normal", "normal"}));
  Hover(108, 19);
  EXPECT_EQ(States(), (Strings{"normal", "hover", "normal"}));
  bar->SetSectionEnd(750);
  Hover(308, 19);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "hover"}));
  Hover(50, 35);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "normal"}));
  Hover(208 - 100, 10);
  EXPECT_EQ(States(), (Strings{"hover", "normal", "normal"}));
  Leave();
  EXPECT_EQ(States(), (Strings{"normal", "normal", "normal"}));

  // Where the thumb covers a marker, a press grabs the thumb.
  Press(108, 14);
  EXPECT_EQ(States(), (Strings{"pressed", "normal", "normal"}));
  Release(108, 14);
  EXPECT_EQ(events, (Strings{"thumb pressed", "thumb released"}));
}

TEST_F(SectionTrackBarTest, OuterHalfOfTheThumbAtTheEndsIsNotTrack) {
  // With the thumb at 0 its left half lies left of the track.
  Press(3, 8);
  EXPECT_EQ(States(), (Strings{"normal", "normal", "normal"}));
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(bar->HasMouseCapture());  // captured all the same, until the release
  Release(3, 8);
  EXPECT_FALSE(bar->HasMouseCapture());
  EXPECT_TRUE(events.empty());
}

TEST_F(SectionTrackBarTest, SetValueClampsAndRepaintsOnlyOnChange) {
  PaintCounter counter;
  w()->installEventFilter(&counter);
  bar->SetValue(400);
  QApplication::processEvents();
  const int paints = counter.paints;
  EXPECT_GT(paints, 0);

  bar->SetValue(400);
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, paints);

  bar->SetValue(5000);
  EXPECT_EQ(bar->GetValue(), 1000);
  bar->SetValue(-5);
  EXPECT_EQ(bar->GetValue(), 0);
  EXPECT_TRUE(events.empty());
  w()->removeEventFilter(&counter);
}

TEST_F(SectionTrackBarTest, AWaveformRepaintsTheTrackOnlyWhenItChanges) {
  PaintCounter counter;
  w()->installEventFilter(&counter);
  QApplication::processEvents();
  const int before = counter.paints;
  TrackWaveform wave{1, std::vector<WavePeak>(400, WavePeak{1, 0})};
  bar->SetWaveform(wave);
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, before + 1);
  bar->SetWaveform(wave);  // the same again, as a look at an unchanged picture hands over
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, before + 1);
  wave.peaks[7] = WavePeak{-100, 100};
  bar->SetWaveform(wave);
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, before + 2);
  EXPECT_EQ(bar->GetWaveform(), wave);
  w()->removeEventFilter(&counter);
}

// A screen reader sees a slider on the thumb; setting it is a drag of the thumb, reported the
// same way.
TEST_F(SectionTrackBarTest, AReaderMovingTheSliderDragsTheThumb) {
  QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(w());
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->role(), QAccessible::Slider);
  QAccessibleValueInterface* value = reader->valueInterface();
  ASSERT_NE(value, nullptr);
  bar->SetValue(250);
  EXPECT_EQ(value->currentValue().toInt(), 250);
  EXPECT_EQ(value->maximumValue().toInt(), 1000);

  value->setCurrentValue(640);
  EXPECT_EQ(bar->GetValue(), 640);
  EXPECT_EQ(events, (Strings{"thumb pressed", "thumb released"}));
  value->setCurrentValue(5000);
  EXPECT_EQ(bar->GetValue(), 1000);
  bar->SetEnabled(false);
  value->setCurrentValue(10);
  EXPECT_EQ(bar->GetValue(), 1000) << "a greyed slider moved";
}

TEST_F(SectionTrackBarTest, SetRangeResetsTheSectionOnlyForNewBounds) {
  bar->SetValue(700);
  bar->SetSectionStart(250);
  bar->SetSectionEnd(750);
  bar->SetRange(0, 1000);
  EXPECT_EQ(bar->GetSectionStart(), 250);
  EXPECT_EQ(bar->GetSectionEnd(), 750);

  bar->SetRange(0, 500);
  EXPECT_EQ(bar->GetValue(), 500);
  EXPECT_EQ(bar->GetSectionStart(), 0);
  EXPECT_EQ(bar->GetSectionEnd(), 500);
  EXPECT_EQ(bar->GetThumbRect().right, 416);

  // An empty range keeps the last layout.
  const CRect thumb = bar->GetThumbRect();
  bar->SetRange(0, 0);
  EXPECT_EQ(bar->GetThumbRect(), thumb);
}

TEST_F(SectionTrackBarTest, ABarNoWiderThanItsThumbDoesNotDrag) {
  bar = std::make_unique<SectionTrackBar>();
  Name(L"Narrow");
  bar->SetSectionStart(500);
  bar->SetSectionEnd(200);  // a swap: the start marker is now in hand
  for (int x : {0, 8, 15, 300}) {
    Press(x, 5);
    Drag(x + 1, 20);
    Hover(x, 20);
    Release(x, 5);
  }
  EXPECT_EQ(bar->GetValue(), 0);
  EXPECT_EQ(bar->GetSectionStart(), 200);
  EXPECT_EQ(bar->GetSectionEnd(), 500);
  EXPECT_EQ(std::count(events.begin(), events.end(), "section moved"), 0);
  Render(*bar);
}

TEST_F(SectionTrackBarTest, ASkinWithoutArrowsStillWorks) {
  bar = std::make_unique<SectionTrackBar>();
  Name(L"NoArrow");
  bar->SetSectionStart(250);
  bar->SetSectionEnd(750);
  const QImage image = Render(*bar);
  EXPECT_EQ(ColorAt(image, 150, 10), "#00ff00");
  EXPECT_EQ(ColorAt(image, 108, 20), "none");

  // Below the track there is nothing to grab; on it the thumb still drags.
  Press(108, 20);
  Drag(308, 20);
  Release(308, 20);
  EXPECT_EQ(bar->GetSectionStart(), 250);
  EXPECT_EQ(bar->GetSectionEnd(), 750);
  Press(108, 5);
  Drag(308, 5);
  Release(308, 5);
  EXPECT_EQ(bar->GetValue(), 750);
  EXPECT_EQ(events, (Strings{"thumb pressed", "thumb released"}));
}

TEST_F(SectionTrackBarTest, AnswersToItsClassName) {
  void* out = nullptr;
  EXPECT_TRUE(bar->AsClass(L"SectionTrackBar", &out));
  EXPECT_EQ(out, bar.get());
  EXPECT_STREQ(bar->GetClass(), L"SectionTrackBar");
  EXPECT_FALSE(bar->AsClass(L"DigitalTime", nullptr));
}

}  // namespace
}  // namespace tavio_ui
