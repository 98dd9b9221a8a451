// What a screen reader and the keyboard get from the library's controls: each control's role,
// name, states, value and press action through Qt's accessibility interface (what AT-SPI hands
// to Orca), and the keys a focused edit does not take reaching the window as WM_KEYDOWN.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QJsonArray>
#include <QLineEdit>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

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

QAccessibleInterface* Reader(Control& control) {
  return QAccessible::queryAccessibleInterface(control.widget());
}

std::wstring NameOf(Control& control) {
  QAccessibleInterface* i = Reader(control);
  return i ? i->text(QAccessible::Name).toStdWString() : L"(none)";
}

// A form that keeps the keys it is given.
class KeyForm : public Form {
 public:
  struct Key {
    WPARAM key;
    bool shift;
    bool control;
    bool repeat;
    bool operator==(const Key&) const = default;
  };
  bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == WM_KEYDOWN) {
      keys.push_back({wParam, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                      (lParam & kKeyRepeatFlag) != 0});
      return true;
    }
    return Form::ProcessMessage(message, wParam, lParam, result);
  }
  std::vector<Key> keys;
};

class AccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.AddBox("look.png", 8, 8, 0xFF2060A0);
    const QJsonObject looks{{"normal", "look.png"}};
    auto entry = [&](int x, const char* spoken) {
      QJsonObject e{{"rect", QJsonArray{x, 10, 40, 24}}, {"images", looks}};
      if (spoken) e["accessibleName"] = spoken;
      return e;
    };
    ASSERT_TRUE(skin.Load(QJsonObject{{"entries",
                                       QJsonObject{{"form", QJsonObject{{"size", QJsonArray{400, 80}}}},
                                                   {"Icon", entry(0, "播放/暂停")},
                                                   {"Plain", entry(40, nullptr)},
                                                   {"Field", entry(80, "起点 分")},
                                                   {"Pick", entry(120, "格式")},
                                                   {"Back", entry(160, "背景")}}}}));
    form.SetName(L"form");
  }

  void Show() {
    form.Create(0);
    form.SetText(L"窗口");
    form.SetVisible(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.widget()));
  }

  testsupport::TestSkin skin;
  KeyForm form;
};

TEST_F(AccessibilityTest, EachControlHasTheRoleOfItsKindAndANameThatIsNotItsSkinName) {
  Button icon, plain, withText;
  icon.SetName(L"Icon");
  plain.SetName(L"Plain");
  withText.SetName(L"Plain");
  withText.SetText(L"取消");
  CheckBox fade, playPause;
  fade.SetName(L"Plain");
  fade.SetText(L"曲首淡入");
  playPause.SetName(L"Icon");
  Label label, link;
  label.SetText(L"第一步,添加歌曲：");
  link.SetText(L"试听其他人制作的铃声");
  link.SetClickHandler([](Control*) {});
  HtmlLabel marked;
  marked.SetText(L"(00:10,<c #FF0000>64kbps</c>)");
  RichEdit edit;
  edit.SetName(L"Field");
  edit.SetText(L"2000");
  ui_test::ListModel items({L"MP3", L"WAV"});
  Combobox combo;
  combo.SetName(L"Pick");
  combo.SetModel(&items);
  combo.SetText(L"MP3");
  ProgressBar bar;
  Image background;
  background.SetName(L"Back");
  for (Control* c : std::initializer_list<Control*>{&icon, &plain, &withText, &fade, &playPause,
                                                     &label, &link, &marked, &edit, &combo, &bar,
                                                     &background}) {
    form.AddControl(c);
  }
  Show();

  struct Row {
    Control* control;
    QAccessible::Role role;
    std::wstring name;
  };
  const Row rows[] = {
      {&form, QAccessible::Window, L"窗口"},
      {&icon, QAccessible::PushButton, L"播放/暂停"},  // no text: the skin says what it shows
      {&plain, QAccessible::PushButton, L""},          // never "Plain"
      {&withText, QAccessible::PushButton, L"取消"},
      {&fade, QAccessible::CheckBox, L"曲首淡入"},
      {&playPause, QAccessible::PushButton, L"播放/暂停"},
      {&label, QAccessible::StaticText, L"第一步,添加歌曲："},
      {&link, QAccessible::Link, L"试听其他人制作的铃声"},
      {&marked, QAccessible::StaticText, L"(00:10,64kbps)"},
      {&edit, QAccessible::EditableText, L"起点 分"},  // its text is its value
      {&combo, QAccessible::ComboBox, L"格式 MP3"},
      {&bar, QAccessible::ProgressBar, L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(QString::fromStdWString(row.name).toStdString());
    QAccessibleInterface* reader = Reader(*row.control);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), row.role);
    EXPECT_EQ(NameOf(*row.control), row.name);
  }
  EXPECT_TRUE(Reader(background)->state().invisible) << "decoration is shown to readers";
  EXPECT_EQ(Reader(edit)->text(QAccessible::Value), QString("2000"));
  EXPECT_EQ(edit.lineEdit()->accessibleName(), QString("起点 分")) << "the focused editor is nameless";
  combo.SetText(L"WAV");
  EXPECT_EQ(NameOf(combo), L"格式 WAV");
  combo.SetModel(nullptr);
}

TEST_F(AccessibilityTest, StatesValuesAndDescriptionsFollowTheControls) {
  CheckBox fade, playPause;
  fade.SetText(L"曲首淡入");
  playPause.SetAutoSwitchState(false);
  playPause.SetToolTip(L"播放/暂停（空格）");
  ProgressBar bar;
  bar.SetDisplayRange(0, 100);
  form.AddControl(&fade);
  form.AddControl(&playPause);
  form.AddControl(&bar);
  Show();

  EXPECT_TRUE(Reader(fade)->state().checkable);
  EXPECT_FALSE(Reader(fade)->state().checked);
  fade.SetState(CheckBox::kChecked);
  EXPECT_TRUE(Reader(fade)->state().checked);
  playPause.SetState(CheckBox::kChecked);
  EXPECT_TRUE(Reader(playPause)->state().pressed) << "a two-look button playing shows pressed";
  EXPECT_EQ(Reader(playPause)->text(QAccessible::Description), QString("播放/暂停（空格）"));
  EXPECT_EQ(playPause.widget()->toolTip(), QString("播放/暂停（空格）"));
  playPause.SetEnabled(false);
  EXPECT_TRUE(Reader(playPause)->state().disabled);

  bar.SetValue(42.5);
  QAccessibleValueInterface* value = Reader(bar)->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->currentValue().toDouble(), 42.5);
  EXPECT_EQ(value->maximumValue().toDouble(), 100.0);
  EXPECT_EQ(Reader(fade)->valueInterface(), nullptr);
}

TEST_F(AccessibilityTest, ThePressActionClicksOnlyWhereAClickWould) {
  Button button;
  button.SetText(L"确定");
  int clicks = 0;
  button.SetOnClick([&](Control*) { ++clicks; });
  Label text;
  text.SetText(L"进度:");
  form.AddControl(&button);
  form.AddControl(&text);
  Show();

  QAccessibleActionInterface* actions = Reader(button)->actionInterface();
  ASSERT_NE(actions, nullptr);
  ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks, 1);
  button.SetEnabled(false);
  actions->doAction(QAccessibleActionInterface::pressAction());
  button.SetEnabled(true);
  button.SetVisible(false);
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks, 1) << "a greyed or hidden button was pressed";
  EXPECT_FALSE(Reader(text)->actionInterface()->actionNames().contains(
      QAccessibleActionInterface::pressAction()));

  // A press whose handler destroys the button.
  auto doomed = std::make_unique<Button>();
  doomed->SetOnClick([&](Control*) { doomed.reset(); });
  form.AddControl(doomed.get());
  Reader(*doomed)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(doomed, nullptr);
}

TEST_F(AccessibilityTest, KeysNoEditTakesReachTheWindowWithTheirModifiers) {
  RichEdit edit;
  edit.SetName(L"Field");
  form.AddControl(&edit);
  Show();
  EXPECT_EQ(form.widget()->focusWidget(), form.widget()) << "an edit took the keys at the start";

  QTest::keyClick(form.widget(), Qt::Key_Space);
  QTest::keyClick(form.widget(), Qt::Key_Left, Qt::ShiftModifier);
  QTest::keyClick(form.widget(), Qt::Key_S, Qt::ControlModifier);
  QTest::keyClick(form.widget(), Qt::Key_BracketLeft);
  QTest::keyPress(form.widget(), Qt::Key_Right);
  QKeyEvent held(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(form.widget(), &held);
  using Key = KeyForm::Key;
  const std::vector<Key> atTheWindow = {{VK_SPACE, false, false, false},
                                        {VK_LEFT, true, false, false},
                                        {'S', false, true, false},
                                        {VK_OEM_4, false, false, false},
                                        {VK_RIGHT, false, false, false},
                                        {VK_RIGHT, false, false, true}};
  EXPECT_EQ(form.keys, atTheWindow);

  // Typing into the edit stays in the edit; a command still reaches the window.
  form.keys.clear();
  edit.lineEdit()->setFocus();
  QTest::keyClicks(edit.lineEdit(), "12 L");
  QTest::keyClick(edit.lineEdit(), Qt::Key_BracketLeft);
  EXPECT_EQ(edit.GetText(), L"12 L[");
  EXPECT_TRUE(form.keys.empty());
  edit.SetReadOnly(true);
  QTest::keyClick(edit.lineEdit(), Qt::Key_Space);
  EXPECT_TRUE(form.keys.empty()) << "a read-only edit let a typed key through";
  QTest::keyClick(edit.lineEdit(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(form.keys, (std::vector<Key>{{'O', false, true, false}}));

  // Escape leaves the edit: the window has the keys again.
  QTest::keyClick(edit.lineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(edit.lineEdit()->hasFocus());
  form.keys.clear();
  QTest::keyClick(form.widget(), Qt::Key_Space);
  EXPECT_EQ(form.keys, (std::vector<Key>{{VK_SPACE, false, false, false}}));
}

}  // namespace
