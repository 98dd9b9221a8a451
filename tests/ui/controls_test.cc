// The library's controls as the user sees them: each look of the skin drawn in its state (pixel
// checks), clicks reaching callbacks on the main thread with the sender, mouse messages packed
// the Win32 way, colour markup painted red, list choices and text changes reported.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QJsonArray>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <QThread>
#include <memory>
#include <thread>

#include "tests/support/test_skin.h"
#include "tests/ui/list_model.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combobox.h"
#include "ui/form.h"
#include "ui/image.h"
#include "ui/label.h"
#include "ui/progress_bar.h"
#include "ui/rich_edit.h"

namespace {

using namespace tavio_ui;

constexpr QRgb kNormal = 0xFF1020A0;
constexpr QRgb kHover = 0xFF10A020;
constexpr QRgb kPressed = 0xFFA01020;
constexpr QRgb kDisabled = 0xFF808080;
constexpr QRgb kChecked = 0xFF00C0C0;
constexpr QRgb kCheckedHover = 0xFFC0C000;
constexpr QRgb kBorder = 0xFFFF0000;
constexpr QRgb kInside = 0xFF00FF00;

QJsonArray Rect(int x, int y, int w, int h) { return QJsonArray{x, y, w, h}; }

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.AddBox("normal.png", 8, 8, kNormal);
    skin.AddBox("hover.png", 8, 8, kHover);
    skin.AddBox("pressed.png", 8, 8, kPressed);
    skin.AddBox("disabled.png", 8, 8, kDisabled);
    skin.AddBox("checked.png", 8, 8, kChecked);
    skin.AddBox("checked_hover.png", 8, 8, kCheckedHover);
    skin.AddBox("framed.png", 6, 6, kInside, kBorder);
    skin.AddBox("thick.png", 6, 6, kBorder);
    QJsonObject looks{{"normal", "normal.png"}, {"hover", "hover.png"},
                      {"pressed", "pressed.png"}, {"disabled", "disabled.png"},
                      {"checked", "checked.png"}, {"checkedHover", "checked_hover.png"}};
    QJsonObject entries{
        {"form", QJsonObject{{"size", QJsonArray{300, 200}}, {"colors", QJsonObject{{"back", "#FFFFFF"}}}}},
        {"Btn", QJsonObject{{"rect", Rect(10, 10, 60, 30)}, {"images", looks}}},
        {"Check", QJsonObject{{"rect", Rect(100, 10, 30, 30)}, {"images", looks}}},
        {"Framed", QJsonObject{{"rect", Rect(10, 60, 60, 30)},
                               {"images", QJsonObject{{"normal", "framed.png"}}},
                               {"ninePatch", QJsonArray{1, 1, 1, 1}}}},
        {"Bar", QJsonObject{{"rect", Rect(10, 100, 200, 10)},
                            {"images", QJsonObject{{"track", "normal.png"}, {"fill", "hover.png"}}}}},
        {"Text", QJsonObject{{"rect", Rect(10, 120, 280, 50)},
                             {"font", QJsonObject{{"size", 28}}},
                             {"colors", QJsonObject{{"text", "#000000"}}}}},
        {"Edit", QJsonObject{{"rect", Rect(150, 10, 100, 24)}, {"images", looks}}},
        {"Combo", QJsonObject{{"rect", Rect(150, 60, 100, 24)}, {"images", looks}}},
    };
    ASSERT_TRUE(skin.Load(QJsonObject{
        {"defaults", QJsonObject{{"font", QJsonObject{{"family", "WenQuanYi Micro Hei"}, {"size", 13}}}}},
        {"entries", entries}}))
        << skin.manager().error();
    form.SetName(L"form");
  }

  void Show() {
    form.Create(0);
    form.SetVisible(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.widget()));
  }

  static QRgb PixelOf(Control& control, int x, int y) {
    return control.widget()->grab().toImage().pixel(x, y);
  }

  testsupport::TestSkin skin;
  Form form;
};

TEST_F(ControlsTest, ButtonDrawsTheSkinLookOfEachState) {
  Button button;
  button.SetName(L"Btn");
  int clicks = 0;
  button.SetOnClick([&](Control*) { ++clicks; });
  form.AddControl(&button);
  Show();
  EXPECT_EQ(button.GetPos(), CRect(10, 10, 70, 40));
  EXPECT_EQ(PixelOf(button, 30, 15), kNormal);

  QTest::mouseMove(button.widget(), QPoint(30, 15));
  EXPECT_EQ(PixelOf(button, 30, 15), kHover);
  QTest::mousePress(button.widget(), Qt::LeftButton, {}, QPoint(30, 15));
  EXPECT_EQ(PixelOf(button, 30, 15), kPressed);
  QTest::mouseRelease(button.widget(), Qt::LeftButton, {}, QPoint(30, 15));
  EXPECT_EQ(PixelOf(button, 30, 15), kHover);
  EXPECT_EQ(clicks, 1);

  // The mouse leaves: back to normal.
  LRESULT result = 0;
  button.ProcessMessage(WM_MOUSELEAVE, 0, 0, result);
  EXPECT_EQ(PixelOf(button, 30, 15), kNormal);

  button.SetEnabled(false);
  EXPECT_EQ(PixelOf(button, 30, 15), kDisabled);
  QTest::mouseClick(button.widget(), Qt::LeftButton, {}, QPoint(30, 15));
  EXPECT_EQ(clicks, 1);
  // A disabled parent disables the look of its children too.
  button.SetEnabled(true);
  form.SetEnabled(false);
  EXPECT_FALSE(button.GetEnabled(true));
  EXPECT_TRUE(button.GetEnabled(false));
  EXPECT_EQ(PixelOf(button, 30, 15), kDisabled);
}

TEST_F(ControlsTest, ClicksReachTheHandlerOnTheMainThreadWithTheSender) {
  Button button;
  button.SetName(L"Btn");
  std::vector<Control*> senders;
  std::vector<std::thread::id> threads;
  button.SetOnClick([&](Control* sender) {
    senders.push_back(sender);
    threads.push_back(std::this_thread::get_id());
  });
  Label link;
  link.SetName(L"Text");
  link.SetText(L"link");
  link.SetClickHandler([&](Control* sender) { senders.push_back(sender); });
  form.AddControl(&button);
  form.AddControl(&link);
  Show();

  QTest::mouseClick(button.widget(), Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseClick(link.widget(), Qt::LeftButton, {}, QPoint(5, 5));
  // Right clicks and releases away from the press are no clicks.
  QTest::mouseClick(button.widget(), Qt::RightButton, {}, QPoint(5, 5));
  QTest::mousePress(button.widget(), Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(button.widget(), Qt::LeftButton, {}, QPoint(200, 5));

  ASSERT_EQ(senders.size(), 2u);
  EXPECT_EQ(senders[0], &button);
  EXPECT_EQ(senders[1], &link);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_EQ(threads[0], std::this_thread::get_id());
  EXPECT_EQ(QThread::currentThread(), qApp->thread());
}

TEST_F(ControlsTest, AControlMayBeDestroyedByItsOwnClickHandler) {
  auto button = std::make_unique<Button>();
  button->SetName(L"Btn");
  form.AddControl(button.get());
  int clicks = 0;
  button->SetOnClick([&](Control*) {
    ++clicks;
    button.reset();
  });
  Show();
  QWidget* widget = button->widget();
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(form.GetChildCount(), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // Controls that do work of their own around the click: nothing of theirs runs once the
  // click callback has destroyed them.
  auto combo = std::make_unique<Combobox>();
  combo->SetName(L"Combo");
  form.AddControl(combo.get());
  combo->SetOnClick([&](Control*) {
    ++clicks;
    combo.reset();
  });
  combo->widget()->show();
  QTest::mouseClick(combo->widget(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  auto link = std::make_unique<Label>();
  link->SetName(L"Btn");
  link->SetText(L"link");
  form.AddControl(link.get());
  std::vector<Control*> linkSenders;
  link->SetClickHandler([&](Control* sender) { linkSenders.push_back(sender); });
  link->SetOnClick([&](Control*) {
    ++clicks;
    link.reset();
  });
  link->widget()->show();
  QTest::mouseClick(link->widget(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 3);
  EXPECT_TRUE(linkSenders.empty());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Records the mouse messages the way a custom control receives them.
class MouseRecorder : public Control {
 public:
  struct Seen {
    UINT message;
    WPARAM wParam;
    int x;
    int y;
  };
  bool DoMouseDown(UINT m, WPARAM w, LPARAM l, LRESULT&) override { return Record(m, w, l); }
  bool DoMouseMove(UINT m, WPARAM w, LPARAM l, LRESULT&) override { return Record(m, w, l); }
  bool DoMouseUp(UINT m, WPARAM w, LPARAM l, LRESULT&) override { return Record(m, w, l); }
  void DoMouseLeave() override { seen.push_back({WM_MOUSELEAVE, 0, 0, 0}); }
  std::vector<Seen> seen;

 private:
  bool Record(UINT m, WPARAM w, LPARAM l) {
    seen.push_back({m, w, GET_X_LPARAM(l), GET_Y_LPARAM(l)});
    return true;
  }
};

TEST_F(ControlsTest, MouseMessagesCarryWin32ValuesAndSignedCoordinates) {
  MouseRecorder recorder;
  recorder.SetName(L"Btn");
  form.AddControl(&recorder);
  Show();
  QTest::mousePress(recorder.widget(), Qt::LeftButton, {}, QPoint(12, 7));
  recorder.SetMouseCapture(true);
  // Dragged left of the control: x turns negative, as GET_X_LPARAM reads it.
  QTest::mouseMove(recorder.widget(), QPoint(-4, 9));
  QTest::mouseRelease(recorder.widget(), Qt::LeftButton, {}, QPoint(-4, 9));
  recorder.SetMouseCapture(false);
  QTest::mousePress(recorder.widget(), Qt::RightButton, {}, QPoint(3, 4));
  QTest::mouseRelease(recorder.widget(), Qt::RightButton, {}, QPoint(3, 4));

  std::vector<MouseRecorder::Seen> presses;
  for (const auto& s : recorder.seen) {
    if (s.message != WM_MOUSEMOVE && s.message != WM_MOUSELEAVE) presses.push_back(s);
  }
  ASSERT_EQ(presses.size(), 4u);
  EXPECT_EQ(presses[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(presses[0].wParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(presses[0].x, 12);
  EXPECT_EQ(presses[0].y, 7);
  EXPECT_EQ(presses[1].message, WM_LBUTTONUP);
  EXPECT_EQ(presses[1].x, -4);
  EXPECT_EQ(presses[1].y, 9);
  EXPECT_EQ(presses[2].message, WM_RBUTTONDOWN);
  EXPECT_EQ(presses[3].message, WM_RBUTTONUP);
  bool sawNegativeMove = false;
  for (const auto& s : recorder.seen) {
    if (s.message == WM_MOUSEMOVE && s.x == -4) sawNegativeMove = true;
  }
  EXPECT_TRUE(sawNegativeMove);
}

TEST_F(ControlsTest, CheckBoxShowsItsStateAndSwitchesBeforeTheHandler) {
  CheckBox box;
  box.SetName(L"Check");
  std::vector<int> statesSeen;
  box.SetOnClick([&](Control* sender) {
    statesSeen.push_back(static_cast<CheckBox*>(sender)->GetState());
  });
  form.AddControl(&box);
  Show();
  EXPECT_EQ(box.GetState(), 0);
  EXPECT_EQ(PixelOf(box, 15, 15), kNormal);
  box.SetState(2);
  EXPECT_EQ(PixelOf(box, 15, 15), kChecked);
  QTest::mouseMove(box.widget(), QPoint(15, 15));
  EXPECT_EQ(PixelOf(box, 15, 15), kCheckedHover);

  QTest::mouseClick(box.widget(), Qt::LeftButton, {}, QPoint(15, 15));
  QTest::mouseClick(box.widget(), Qt::LeftButton, {}, QPoint(15, 15));
  EXPECT_EQ(statesSeen, (std::vector<int>{0, 2}));

  // Without auto-switch the owner decides the state.
  box.SetAutoSwitchState(false);
  QTest::mouseClick(box.widget(), Qt::LeftButton, {}, QPoint(15, 15));
  EXPECT_EQ(statesSeen.back(), 2);
  EXPECT_EQ(box.GetState(), 2);
}

TEST_F(ControlsTest, ImageTypesStretchOrKeepTheNinePatchBorder) {
  Image ninePatch;
  ninePatch.SetName(L"Framed");
  ninePatch.SetType(Image::kNinePatch);
  form.AddControl(&ninePatch);
  Show();
  // The 1-pixel border stays 1 pixel wide at 60 x 30.
  EXPECT_EQ(PixelOf(ninePatch, 0, 15), kBorder);
  EXPECT_EQ(PixelOf(ninePatch, 3, 15), kInside);
  EXPECT_EQ(PixelOf(ninePatch, 59, 29), kBorder);
  // Stretched whole, the border grows with the image (6 -> 60 pixels: 10 wide).
  ninePatch.SetType(Image::kStretch);
  EXPECT_EQ(PixelOf(ninePatch, 3, 15), kBorder);
  EXPECT_EQ(PixelOf(ninePatch, 30, 15), kInside);
}

TEST_F(ControlsTest, ProgressBarFillsTheReachedPart) {
  ProgressBar bar;
  bar.SetName(L"Bar");
  bar.SetDisplayRange(0, 100);
  form.AddControl(&bar);
  Show();
  EXPECT_EQ(PixelOf(bar, 100, 5), kNormal);
  bar.SetValue(50);
  EXPECT_EQ(PixelOf(bar, 40, 5), kHover);
  EXPECT_EQ(PixelOf(bar, 160, 5), kNormal);
  bar.SetValue(250);  // beyond the range: full, not past it
  EXPECT_EQ(PixelOf(bar, 199, 5), kHover);
  bar.SetDisplayRange(5, 5);  // an empty range shows empty
  EXPECT_EQ(PixelOf(bar, 1, 5), kNormal);
}

TEST_F(ControlsTest, HtmlLabelPaintsTheMarkedPartRed) {
  HtmlLabel label;
  label.SetName(L"Text");
  label.SetText(L"ab<c #FF0000>WWW</c>cd");
  form.AddControl(&label);
  Show();
  const QImage image = label.widget()->grab().toImage();
  const QFontMetrics metrics(label.widget()->font());
  const int redStart = metrics.horizontalAdvance("ab");
  const int redEnd = redStart + metrics.horizontalAdvance("WWW");
  int redInside = 0, redOutside = 0, darkOutside = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      const bool red = c.red() > 180 && c.green() < 80 && c.blue() < 80 && c.alpha() > 200;
      const bool dark = c.red() < 60 && c.green() < 60 && c.blue() < 60 && c.alpha() > 200;
      const bool inside = x >= redStart - 1 && x <= redEnd + 1;
      if (red && inside) ++redInside;
      if (red && !inside) ++redOutside;
      if (dark && !inside) ++darkOutside;
    }
  }
  EXPECT_GT(redInside, 30);
  EXPECT_EQ(redOutside, 0);
  EXPECT_GT(darkOutside, 30);  // "ab" and "cd" in the label's own colour
  EXPECT_EQ(label.widget()->accessibleName(), QString("abWWWcd"));
}

TEST_F(ControlsTest, FitToTextFollowsTheText) {
  Label label;
  label.SetName(L"Text");
  label.FitToText(true);
  label.SetText(L"x");
  const int narrow = label.GetWidth();
  label.SetText(L"a much longer text");
  EXPECT_GT(label.GetWidth(), narrow + 50);
  EXPECT_EQ(label.GetPos().left, 10);
}

TEST_F(ControlsTest, ComboboxChoosesByTextAndReportsChanges) {
  ui_test::ListModel model;
  Combobox combo;
  combo.SetName(L"Combo");
  combo.SetModel(&model);
  EXPECT_EQ(model.observer, &combo);
  for (const wchar_t* t : {L"MP3", L"WAV", L"OGG"}) model.Add(t);
  std::vector<std::pair<Combobox*, int>> events;
  combo.SetItemSelectedEventHandler([&](Combobox* c, int i) { events.emplace_back(c, i); });

  combo.SetText(L"WAV");
  combo.SetText(L"WAV");  // unchanged: no event
  EXPECT_EQ(combo.GetSelected(), 1);
  EXPECT_EQ(combo.GetText(), L"WAV");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], std::make_pair(&combo, 1));

  model.Insert(0, L"FLAC");  // the chosen item moves down with the list
  EXPECT_EQ(combo.GetSelected(), 2);
  EXPECT_EQ(combo.GetText(), L"WAV");
  model.RemoveItem(2);  // the chosen item goes away
  EXPECT_EQ(combo.GetSelected(), -1);
  EXPECT_EQ(combo.GetText(), L"");
  combo.SetText(L"mp3");  // exact text only
  EXPECT_EQ(combo.GetSelected(), -1);
  EXPECT_EQ(events.size(), 1u);

  // The user picks from the drop-down.
  form.AddControl(&combo);
  Show();
  QTest::mouseClick(combo.widget(), Qt::LeftButton, {}, QPoint(20, 10));
  ASSERT_TRUE(combo.IsDroppedDown());
  auto* list = qobject_cast<QListWidget*>(QApplication::activePopupWidget());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  const QRect row = list->visualItemRect(list->item(2));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_FALSE(combo.IsDroppedDown());
  EXPECT_EQ(combo.GetText(), L"OGG");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].second, 2);

  // A press outside the list, or Escape, closes it with no choice.
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "a press outside");
    QTest::mouseClick(combo.widget(), Qt::LeftButton, {}, QPoint(20, 10));
    list = qobject_cast<QListWidget*>(QApplication::activePopupWidget());
    ASSERT_NE(list, nullptr);
    if (escape) {
      QTest::keyClick(list, Qt::Key_Escape);
    } else {
      // While the list is up Qt hands it every press, one beside it at a point outside it.
      const QPointF beside(list->width() + 40, 10);
      QMouseEvent press(QEvent::MouseButtonPress, beside, list->mapToGlobal(beside), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(list, &press);
    }
    EXPECT_FALSE(combo.IsDroppedDown());
    EXPECT_EQ(combo.GetText(), L"OGG");
    EXPECT_EQ(events.size(), 2u);
  }

  combo.SetModel(nullptr);
  EXPECT_EQ(model.observer, nullptr);
}

// The choice is reported from inside the drop-down's own click handling; a callback that
// destroys the combobox there must not take the drop-down from under Qt.
TEST_F(ControlsTest, AComboboxMayBeDestroyedByTheChoiceItReports) {
  ui_test::ListModel model;
  for (const wchar_t* t : {L"MP3", L"WAV", L"OGG"}) model.Add(t);
  auto combo = std::make_unique<Combobox>();
  combo->SetName(L"Combo");
  combo->SetModel(&model);
  std::vector<int> chosen;
  combo->SetItemSelectedEventHandler([&](Combobox*, int index) {
    chosen.push_back(index);
    combo.reset();
  });
  form.AddControl(combo.get());
  Show();
  QTest::mouseClick(combo->widget(), Qt::LeftButton, {}, QPoint(20, 10));
  auto* list = qobject_cast<QListWidget*>(QApplication::activePopupWidget());
  ASSERT_NE(list, nullptr);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
  EXPECT_EQ(chosen, std::vector<int>{2});
  EXPECT_EQ(combo, nullptr);
  EXPECT_EQ(model.observer, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A change is reported from inside the editor's own handling of it (a key press, setText); a
// callback that destroys the edit there must not take the editor from under Qt.
TEST_F(ControlsTest, AnEditMayBeDestroyedByTheTextChangeItReports) {
  Show();
  for (bool typed : {true, false}) {
    auto edit = std::make_unique<RichEdit>(nullptr);
    edit->SetName(L"Edit");
    form.AddControl(edit.get());
    edit->widget()->show();
    std::vector<std::wstring> seen;
    edit->SetTextChangedHandler([&](Control* sender) {
      seen.push_back(static_cast<RichEdit*>(sender)->GetText());
      edit.reset();
    });
    if (typed) {
      edit->lineEdit()->setFocus();
      QTest::keyClick(edit->lineEdit(), Qt::Key_A);
    } else {
      edit->SetText(L"12");
    }
    EXPECT_EQ(seen, std::vector<std::wstring>{typed ? L"a" : L"12"});
    EXPECT_EQ(edit, nullptr);
    EXPECT_EQ(form.GetChildCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

class ReadyEdit : public RichEdit {
 public:
  void OnTextServicesReady() override {
    ++ready;
    SetText(L"00.0");
  }
  int ready = 0;
};

TEST_F(ControlsTest, RichEditReportsEveryTextChangeAndSelects) {
  ReadyEdit edit;
  edit.SetName(L"Edit");
  std::vector<std::wstring> texts;
  edit.SetTextChangedHandler([&](Control* sender) { texts.push_back(sender->GetText()); });
  EXPECT_EQ(edit.ready, 0);
  form.AddControl(&edit);
  EXPECT_EQ(edit.ready, 1);
  form.RemoveControl(&edit);
  form.AddControl(&edit);
  EXPECT_EQ(edit.ready, 1);
  Show();

  edit.SetText(L"2000");
  edit.lineEdit()->setFocus();
  edit.SetSelection(0, -1);
  QTest::keyClicks(edit.lineEdit(), "15");
  EXPECT_EQ(edit.GetText(), L"15");
  EXPECT_EQ(texts.front(), L"00.0");
  EXPECT_EQ(texts.back(), L"15");
  EXPECT_NE(std::find(texts.begin(), texts.end(), L"2000"), texts.end());

  edit.SetReadOnly(true);
  QTest::keyClicks(edit.lineEdit(), "9");
  EXPECT_EQ(edit.GetText(), L"15");
  edit.SetText(L"12345");
  edit.SetSelection(1, 3);
  int start = -1, end = -1;
  edit.GetSelection(&start, &end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 3);
  edit.SetSelection(0, -1);
  edit.GetSelection(&start, &end);
  EXPECT_EQ(end, 5);
}

TEST_F(ControlsTest, ANewSkinReachesControlsNamedBeforeIt) {
  Button button;
  button.SetName(L"Later");
  EXPECT_EQ(button.GetSkinItem(), nullptr);
  testsupport::TestSkin other;
  other.AddBox("n.png", 4, 4, kHover);
  ASSERT_TRUE(other.Load(QJsonObject{{"entries", QJsonObject{{"Later", QJsonObject{
      {"rect", Rect(3, 4, 50, 20)}, {"images", QJsonObject{{"normal", "n.png"}}}}}}}}));
  ASSERT_NE(button.GetSkinItem(), nullptr);
  EXPECT_EQ(button.GetPos(), CRect(3, 4, 53, 24));
  // Off skin positioning: the owner places the control.
  Button placed;
  placed.SetSkinPosEnable(false);
  placed.SetName(L"Later");
  EXPECT_EQ(placed.GetPos().left, 0);
  EXPECT_EQ(placed.GetPreferredSize(), CSize(50, 20));
}

// Controls read their look when the skin changes, not when they paint: a newly loaded file must
// reach them (and the old file's images, freed by then, must not be painted).
TEST_F(ControlsTest, ControlsTakeTheLookOfANewlyLoadedSkin) {
  Button button;
  button.SetName(L"Btn");
  ProgressBar bar;
  bar.SetName(L"Bar");
  bar.SetDisplayRange(0, 100);
  bar.SetValue(50);
  form.AddControl(&button);
  form.AddControl(&bar);
  Show();
  EXPECT_EQ(PixelOf(button, 30, 15), kNormal);
  EXPECT_EQ(PixelOf(bar, 40, 5), kHover);

  skin.AddBox("other.png", 8, 8, kChecked);
  skin.AddBox("other_fill.png", 8, 8, kPressed);
  const QJsonObject form{{"size", QJsonArray{300, 200}}};
  ASSERT_TRUE(skin.manager().LoadFromData(skin.Pack(QJsonObject{{"entries", QJsonObject{
      {"form", form},
      {"Btn", QJsonObject{{"rect", Rect(10, 10, 60, 30)},
                          {"images", QJsonObject{{"normal", "other.png"}}}}},
      {"Bar", QJsonObject{{"rect", Rect(10, 100, 200, 10)},
                          {"images", QJsonObject{{"track", "other.png"},
                                                 {"fill", "other_fill.png"}}}}}}}})));
  EXPECT_EQ(PixelOf(button, 30, 15), kChecked);
  EXPECT_EQ(PixelOf(bar, 40, 5), kPressed);
  EXPECT_EQ(PixelOf(bar, 160, 5), kChecked);

  // A file without their entries leaves them without a look.
  ASSERT_TRUE(skin.manager().LoadFromData(
      skin.Pack(QJsonObject{{"entries", QJsonObject{{"form", form}}}})));
  EXPECT_NE(PixelOf(button, 30, 15), kChecked);
  EXPECT_NE(PixelOf(bar, 160, 5), kChecked);
}

TEST_F(ControlsTest, AControlForgetsTheLookOfADestroyedSkin) {
  Button button;
  form.AddControl(&button);
  Show();
  {
    testsupport::TestSkin other;
    other.AddBox("n.png", 4, 4, kChecked);
    ASSERT_TRUE(other.Load(QJsonObject{{"entries", QJsonObject{{"Later", QJsonObject{
        {"rect", Rect(3, 4, 50, 20)}, {"images", QJsonObject{{"normal", "n.png"}}}}}}}}));
    button.SetName(L"Later");
    EXPECT_EQ(PixelOf(button, 10, 10), kChecked);
  }
  EXPECT_EQ(button.GetSkinItem(), nullptr);
  EXPECT_NE(PixelOf(button, 10, 10), kChecked);
}

// Pixels of an area drawn in a clear red: text in the skin's red text colour.
int RedPixels(const QImage& shot, const QRect& area) {
  int red = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      if (c.red() > 180 && c.green() < 80 && c.blue() < 80) ++red;
    }
  }
  return red;
}

// What an entry leaves out comes from the skin's defaults, and the program's back colour reaches
// a live window at once.
TEST(SkinDefaultsTest, ControlsWhoseEntriesSayNothingUseTheSkinsDefaults) {
  testsupport::TestSkin skin;
  ASSERT_TRUE(skin.Load(QJsonObject{
      {"defaults", QJsonObject{{"backColor", "#00FF00"},
                               {"textColor", "#FF0000"},
                               {"editPadding", QJsonArray{7, 3, 9, 5}},
                               {"font", QJsonObject{{"family", "WenQuanYi Micro Hei"},
                                                    {"size", 24}}}}},
      {"entries", QJsonObject{{"win", QJsonObject{{"size", QJsonArray{200, 100}}}},
                              {"Edit", QJsonObject{{"rect", Rect(10, 10, 100, 30)}}},
                              {"Text", QJsonObject{{"rect", Rect(10, 50, 180, 40)}}}}}}))
      << skin.manager().error();
  Form form;
  form.SetName(L"win");
  RichEdit edit;
  edit.SetName(L"Edit");
  Label label;
  label.SetName(L"Text");
  label.SetText(L"WWW");
  form.AddControl(&edit);
  form.AddControl(&label);
  form.Create(0);
  form.SetVisible(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.widget()));

  EXPECT_EQ(edit.lineEdit()->geometry(), QRect(7, 3, 100 - 16, 30 - 8));
  QImage shot = form.widget()->grab().toImage();
  EXPECT_EQ(shot.pixel(195, 5), 0xFF00FF00u);
  EXPECT_GT(RedPixels(shot, QRect(10, 50, 180, 40)), 30);

  skin.manager().SetBackColor(0xFF0000FF, false);
  shot = form.widget()->grab().toImage();
  EXPECT_EQ(shot.pixel(195, 5), 0xFF0000FFu);
}

// A control with no entry of its own still takes the defaults of a skin loaded after it was made.
TEST(SkinDefaultsTest, AnUnnamedControlTakesTheDefaultsOfALaterSkin) {
  Label label;
  label.SetText(L"WWW");
  testsupport::TestSkin skin;
  ASSERT_TRUE(skin.Load(QJsonObject{
      {"defaults", QJsonObject{{"textColor", "#FF0000"},
                               {"font", QJsonObject{{"family", "WenQuanYi Micro Hei"},
                                                    {"size", 24}}}}},
      {"entries", QJsonObject{{"win", QJsonObject{{"size", QJsonArray{200, 100}}}}}}}));
  Form form;
  form.SetName(L"win");
  form.AddControl(&label);
  CRect place(10, 10, 190, 50);
  label.SetPos(&place);
  form.Create(0);
  form.SetVisible(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.widget()));

  const QImage shot = form.widget()->grab().toImage();
  EXPECT_GT(RedPixels(shot, QRect(10, 10, 180, 40)), 30);
}

TEST_F(ControlsTest, AsClassAnswersForTheClassAndItsBases) {
  CheckBox box;
  void* out = nullptr;
  EXPECT_TRUE(box.AsClass(L"CheckBox", &out));
  EXPECT_EQ(out, static_cast<void*>(&box));
  EXPECT_TRUE(box.AsClass(L"Button", &out));
  EXPECT_EQ(out, static_cast<void*>(static_cast<Button*>(&box)));
  EXPECT_TRUE(box.AsClass(L"Control", nullptr));
  EXPECT_FALSE(box.AsClass(L"Label", &out));
  EXPECT_STREQ(box.GetClass(), L"CheckBox");
  void* form = nullptr;
  EXPECT_TRUE(this->form.AsClass(L"WindowContainer", &form));
  EXPECT_EQ(static_cast<WindowContainer*>(form), &this->form);
}

}  // namespace
