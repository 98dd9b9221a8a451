// The shipped skin on real windows: the main window, the progress window and the web window built
// from the library's own controls with the texts the program sets, in their states. Each window
// must paint its artwork (not the bare back colour) where its controls are. With
// SONACLIP_SCREENSHOT_DIR set, the windows are also written there as PNG files to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTest>
#include <memory>
#include <vector>

#include "tests/ui/list_model.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combobox.h"
#include "ui/form.h"
#include "ui/image.h"
#include "ui/label.h"
#include "ui/progress_bar.h"
#include "ui/rich_edit.h"
#include "ui/skin_manager.h"

namespace {

using namespace tavio_ui;

// Builds controls on a form and keeps them alive.
class Gallery {
 public:
  explicit Gallery(Form* form) : form(form) {}
  template <typename T>
  T* Add(const wchar_t* name, const std::wstring& text = L"") {
    auto control = std::make_unique<T>();
    T* raw = control.get();
    raw->SetName(name);
    if (!text.empty()) raw->SetText(text);
    form->AddControl(raw);
    controls.push_back(std::move(control));
    return raw;
  }
  Combobox* AddCombo(const wchar_t* name, std::vector<std::wstring> items) {
    models.push_back(std::make_unique<ui_test::ListModel>(items));
    Combobox* combo = Add<Combobox>(name);
    combo->SetModel(models.back().get());
    combo->SetText(items.front());
    return combo;
  }
  ~Gallery() {
    for (auto& c : controls) {
      void* combo = nullptr;
      if (c->AsClass(L"Combobox", &combo)) static_cast<Combobox*>(combo)->SetModel(nullptr);
    }
  }

 private:
  Form* form;
  std::vector<std::unique_ptr<ui_test::ListModel>> models;
  std::vector<std::unique_ptr<Control>> controls;
};

class SkinGalleryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSkinManager(&skin);
    ASSERT_TRUE(skin.Load(QString(SONACLIP_SKIN_FILE).toStdWString().c_str(), false));
    skin.SetBackColor(0xFF2B93E6, false);
  }
  void TearDown() override { UnRegisterSkinManager(); }

  QImage Shoot(Form& form, const char* file) {
    form.Create(0);
    form.SetVisible(true);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.widget()));
    QImage image = form.widget()->grab().toImage();
    const QByteArray dir = qgetenv("SONACLIP_SCREENSHOT_DIR");
    if (!dir.isEmpty()) image.save(QDir(QString::fromLocal8Bit(dir)).filePath(file));
    return image;
  }

  // The artwork covers the window: no pixel of the bare back colour shows at these points.
  static void ExpectPainted(const QImage& image, const CRect& r, const char* what) {
    const QRgb back = 0xFF2B93E6;
    EXPECT_NE(image.pixel(r.left + r.Width() / 2, r.top + r.Height() / 2), back) << what;
  }

  SkinManager skin;
};

TEST_F(SkinGalleryTest, MainWindow) {
  Form form;
  form.SetName(L"main_form");
  Gallery g(&form);
  g.Add<Image>(L"SonaclipFormBackground")->SetType(2);
  g.Add<Button>(L"SonaclipFormClose");
  g.Add<Image>(L"AddSongBG")->SetType(2);
  Label* first = g.Add<Label>(L"FirstStep", L"第一步,添加歌曲：");
  first->SetBold(true);
  g.Add<Button>(L"AddSong");
  Label* other = g.Add<Label>(L"TryOtherSong", L"试听其他人制作的铃声");
  other->SetTextColor(0xff4c618f);
  other->SetUnderLine(true, false);
  g.Add<Label>(L"SongName", L"歌曲名: 夜曲.mp3");
  g.Add<HtmlLabel>(L"SongInfo", L"(03:47，双声道，44100Hz,<c #FF0000>64kbps</c>)");
  g.Add<Image>(L"SonaclipBG")->SetType(0);
  g.Add<Label>(L"SecondStep", L"第二步,截取铃声：")->SetBold(true);
  Label* ringTime = g.Add<Label>(L"RingTime", L"铃声时长:00:30");
  ringTime->FitToText(true);
  ringTime->SetTextColor(0xff4c618f);
  g.Add<HtmlLabel>(L"RingSize", L"大小:<c #FF0000>2300KB</c>");
  g.Add<Label>(L"SizeWarnInfo", L"(铃声大小不得超过2.0M)")->SetTextColor(0xff4c618f);
  for (const wchar_t* edit : {L"EditStartMin", L"EditEndMin"}) g.Add<RichEdit>(edit, L"01");
  for (const wchar_t* edit : {L"EditStartSec", L"EditEndSec"}) g.Add<RichEdit>(edit, L"25.5");
  g.Add<CheckBox>(L"PlayPause")->SetState(2);
  g.Add<Button>(L"CutStart");
  g.Add<Button>(L"CutEnd");
  g.Add<Button>(L"ListenRing")->SetEnabled(false);
  g.Add<Image>(L"SaveRingBG")->SetType(0);
  g.Add<Label>(L"ThirdStep", L"第三步,保存设置：")->SetBold(true);
  g.Add<CheckBox>(L"HeadFadeCheck", L"曲首淡入")->SetState(2);
  g.Add<CheckBox>(L"TailFadeCheck", L"曲尾淡入");
  g.Add<RichEdit>(L"HeadFadeEdit", L"2000");
  g.Add<RichEdit>(L"TailFadeEdit", L"2000");
  g.Add<Button>(L"SaveRing");
  g.Add<Label>(L"RingSaveQualityLabel", L"铃声质量：");
  g.AddCombo(L"RingSaveFormatCombox", {L"MP3", L"WAV"})->SetTextColor(0xff4c618f);
  g.AddCombo(L"RingSaveChannelCombox", {L"双声道", L"单声道"});
  g.AddCombo(L"RingSaveQualityCombox", {L"默认", L"一般"});
  g.AddCombo(L"RingSaveVolCombox", {L"原始", L"0.5倍"});

  const QImage shot = Shoot(form, "main_window.png");
  ASSERT_EQ(shot.size(), QSize(600, 540));
  for (const wchar_t* name : {L"AddSong", L"SaveRing", L"AddSongBG", L"SonaclipBG", L"SaveRingBG",
                              L"PlayPause", L"HeadFadeEdit", L"RingSaveFormatCombox"}) {
    ExpectPainted(shot, skin.GetItem(name)->GetRect(), QString::fromWCharArray(name).toUtf8());
  }
  // Between the cards the page colour shows, not the bare back colour.
  ExpectPainted(shot, CRect(296, 526, 304, 534), "page");
}

TEST_F(SkinGalleryTest, ProgressAndWebWindows) {
  Form progress;
  progress.SetName(L"SonaclipProcessWnd");
  Gallery g(&progress);
  // Added in the windows' own order: what comes later lies on top.
  g.Add<Image>(L"ProcessWndBackground")->SetType(2);
  g.Add<Button>(L"ProcessWndClose");
  Label* title = g.Add<Label>(L"ProcessWndTitle", L"保存铃声到本地进度");
  title->SetTextColor(0xff416c8f);
  Label* info = g.Add<Label>(L"ProcessWndInfo", L"正在保存铃声中......");
  info->SetBold(true);
  g.Add<Label>(L"ProcessLabel", L"进度:");
  g.Add<Label>(L"CurrentPercent", L"63%");
  Button* cancel = g.Add<Button>(L"ProcessWndCancel", L"取消");
  cancel->SetTextColor(0xff416c8f);
  ProgressBar* bar = g.Add<ProgressBar>(L"SonaclipProgressBar");
  bar->SetDisplayRange(0, 100);
  bar->SetValue(62.4);
  const QImage shot = Shoot(progress, "progress_window.png");
  ASSERT_EQ(shot.size(), QSize(360, 180));
  ExpectPainted(shot, skin.GetItem(L"SonaclipProgressBar")->GetRect(), "progress");

  Form web;
  web.SetName(L"OtherRingWebWnd");
  Gallery w(&web);
  w.Add<Image>(L"HotRingWndBackground")->SetType(2);
  w.Add<Button>(L"HotRingWndClose");
  const QImage webShot = Shoot(web, "web_window.png");
  EXPECT_EQ(webShot.size(), QSize(800, 560));
}

}  // namespace
