// The main window's shell with the real skin: its layout as the skin places it, hiding on a lone
// WM_CLOSE, showing again on the activation request, and the close button ending the main loop.

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "editor/main_form.h"
#include "ui/messages.h"
#include "ui/skin_manager.h"

namespace {

using tavio_ui::CRect;

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
    tavio_ui::UIJoinMessageLoop(loop.get());
    skin = std::make_unique<tavio_ui::SkinManager>();
    tavio_ui::RegisterSkinManager(skin.get());
    ASSERT_TRUE(skin->Load(SONACLIP_SKIN_FILE, false)) << skin->error();
    form = std::make_unique<MainForm>();
    handle = form->Create(0);
    ASSERT_NE(handle, 0u);
    form->SetShowCaption(false);
    form->SetVisible(true);
  }

  void TearDown() override {
    form.reset();
    tavio_ui::UnRegisterSkinManager();
    skin.reset();
    tavio_ui::UIJoinMessageLoop(nullptr);
    loop.reset();
  }

  tavio_ui::Control* Find(const wchar_t* name) {
    tavio_ui::Control* control = form->FindControl(name);
    EXPECT_NE(control, nullptr) << "no control named " << QString::fromWCharArray(name).toStdString();
    return control;
  }

  // Runs the main loop over everything posted so far: a quit message queued behind them ends it.
  void PumpPostedMessages() {
    tavio_ui::PostQuitMessage(0);
    loop->Run();
  }

  static bool Inside(const CRect& inner, const CRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
  }

  std::unique_ptr<base::MessageLoop> loop;
  std::unique_ptr<tavio_ui::SkinManager> skin;
  std::unique_ptr<MainForm> form;
  HWND handle = 0;
};

TEST_F(MainFormTest, SkinPlacesThreeStepPanelsTopToBottomWithTheirTitlesInside) {
  const CRect window = form->GetClientRect();
  ASSERT_GT(window.Width(), 0);
  ASSERT_GT(window.Height(), 0);

  struct Step {
    const wchar_t* panel;
    const wchar_t* title;
  };
  const Step steps[] = {{L"AddSongBG", L"FirstStep"},
                        {L"SonaclipBG", L"SecondStep"},
                        {L"SaveRingBG", L"ThirdStep"}};
  int previousBottom = 0;
  for (const Step& step : steps) {
    tavio_ui::Control* panel = Find(step.panel);
    tavio_ui::Control* title = Find(step.title);
    ASSERT_TRUE(panel && title);
    const CRect panelRect = panel->GetPos();
    EXPECT_FALSE(panelRect.IsRectEmpty());
    EXPECT_TRUE(Inside(panelRect, window));
    EXPECT_GE(panelRect.top, previousBottom) << "step panels overlap";
    previousBottom = panelRect.bottom;
    EXPECT_TRUE(Inside(title->GetPos(), panelRect)) << "a step title lies outside its panel";
    EXPECT_GE(title->GetPreferredSize().cx, 1);
  }

  tavio_ui::Control* close = Find(L"SonaclipFormClose");
  ASSERT_NE(close, nullptr);
  const CRect closeRect = close->GetPos();
  EXPECT_TRUE(Inside(closeRect, window));
  EXPECT_GT(closeRect.left, window.Width() / 2) << "the close button belongs top right";
  EXPECT_LT(closeRect.bottom, Find(L"AddSongBG")->GetPos().top);
}

TEST_F(MainFormTest, LoneCloseHidesAndTheActivationRequestShowsItAgain) {
  ASSERT_TRUE(form->widget()->isVisible());

  tavio_ui::PostMessage(handle, WM_CLOSE, 0, 0);
  PumpPostedMessages();
  EXPECT_FALSE(form->GetVisible());
  EXPECT_FALSE(form->widget()->isVisible());
  EXPECT_EQ(form->GetHWND(), handle) << "a lone WM_CLOSE must not destroy the window";

  tavio_ui::PostMessage(handle, MainForm::kActivateMessage, 0, 0);
  PumpPostedMessages();
  EXPECT_TRUE(form->GetVisible());
  EXPECT_TRUE(form->widget()->isVisible());
}

// Records what the main loop hands out while the close button does its work.
class RecordingDispatcher : public base::MessagePumpDispatcher {
 public:
  uint32_t Dispatch(const base::NativeMessage& message) override {
    seen.push_back(message);
    tavio_ui::DispatchNativeMessage(message);
    return 0;
  }
  std::vector<base::NativeMessage> seen;
};

TEST_F(MainFormTest, CloseButtonPostsCloseToTheWindowThenEndsTheMainLoop) {
  tavio_ui::Control* close = Find(L"SonaclipFormClose");
  ASSERT_NE(close, nullptr);
  PumpPostedMessages();  // the show's own messages

  QTest::mouseClick(close->widget(), Qt::LeftButton, Qt::NoModifier,
                    close->widget()->rect().center());
  RecordingDispatcher dispatcher;
  loop->RunWithDispatcher(&dispatcher);  // returns only when the quit message comes

  bool sawClose = false;
  for (const auto& message : dispatcher.seen)
    sawClose = sawClose || (message.hwnd == handle && message.message == WM_CLOSE);
  EXPECT_TRUE(sawClose) << "the close button did not post WM_CLOSE to its window";
  EXPECT_FALSE(form->widget()->isVisible());
}

// What a screen reader hears of the window with the real skin: every control of the three steps
// has the role a person expects and a Chinese name (its text, or what its picture shows), and
// none is a nameless filler or a skin identifier.
TEST_F(MainFormTest, AScreenReaderHearsEachControlsRoleAndName) {
  form->SetText(L"Tavio铃声制作专家");
  struct Row {
    const wchar_t* skinName;
    QAccessible::Role role;
    const wchar_t* name;
  };
  const Row rows[] = {
      {L"SonaclipFormClose", QAccessible::PushButton, L"关闭"},
      {L"FirstStep", QAccessible::StaticText, L"第一步,添加歌曲："},
      {L"AddSong", QAccessible::PushButton, L"添加歌曲"},
      {L"TryOtherSong", QAccessible::Link, L"试听其他人制作的铃声"},
      {L"SongName", QAccessible::StaticText, L"歌曲名:还未添加歌曲"},
      {L"EditStartMin", QAccessible::SpinBox, L"起点 分"},
      {L"EditStartSec", QAccessible::SpinBox, L"起点 秒"},
      {L"EditEndMin", QAccessible::SpinBox, L"终点 分"},
      {L"EditEndSec", QAccessible::SpinBox, L"终点 秒"},
      {L"PlayPause", QAccessible::PushButton, L"播放/暂停"},
      {L"SonaclipTrackBar", QAccessible::Slider, L"播放进度"},
      {L"PlayTime", QAccessible::StaticText, L"播放时间 00:00"},
      {L"CutStart", QAccessible::PushButton, L"标记开始"},
      {L"CutEnd", QAccessible::PushButton, L"标记结束"},
      {L"ListenRing", QAccessible::PushButton, L"试听铃声"},
      {L"HeadFadeCheck", QAccessible::CheckBox, L"曲首淡入"},
      {L"HeadFadeEdit", QAccessible::EditableText, L"曲首淡入 毫秒"},
      {L"SaveRing", QAccessible::PushButton, L"保存铃声"},
      {L"RingSaveFormatCombox", QAccessible::ComboBox, L"格式 MP3"},
      {L"RingSaveChannelCombox", QAccessible::ComboBox, L"声道 双声道"},
      {L"RingSaveQualityCombox", QAccessible::ComboBox, L"铃声质量 默认"},
      {L"RingSaveVolCombox", QAccessible::ComboBox, L"音量 原始"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(QString::fromWCharArray(row.skinName).toStdString());
    tavio_ui::Control* control = Find(row.skinName);
    ASSERT_NE(control, nullptr);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(control->widget());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), row.role);
    EXPECT_EQ(reader->text(QAccessible::Name), QString::fromWCharArray(row.name));
  }

  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form->widget());
  EXPECT_EQ(window->text(QAccessible::Name), QString("Tavio铃声制作专家"));
  // Whatever else the window holds: nothing a reader shows is a filler, nameless or named by
  // its skin identifier (the pictures behind the steps are not shown at all).
  int shown = 0;
  for (int i = 0; i < window->childCount(); ++i) {
    QAccessibleInterface* child = window->child(i);
    if (child->state().invisible) continue;
    ++shown;
    const QString name = child->text(QAccessible::Name);
    auto* widget = qobject_cast<QWidget*>(child->object());
    const QString skinName = widget ? widget->objectName() : QString();
    EXPECT_NE(child->role(), QAccessible::Client) << skinName.toStdString();
    EXPECT_NE(child->role(), QAccessible::Pane) << skinName.toStdString();
    EXPECT_FALSE(name.isEmpty() && skinName != "SongInfo" && skinName != "RingSize")
        << skinName.toStdString() << " has no name";
    EXPECT_NE(name, skinName);
  }
  EXPECT_GE(shown, static_cast<int>(std::size(rows)));
}

}  // namespace
