// The ring editor as a person uses it: the real main window with the real skin, the real player and
// codec plug-ins on the PulseAudio null sink, songs made at test time. Only the answers a person
// would give (file dialogs, message boxes) come from the test.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "base/nested_pump_hooks.h"
#include "base/path_service.h"
#include "base/program_folders.h"
#include "base/strings.h"
#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "tests/engine/ring_fixtures.h"
#include "tests/windows/window_test_main.h"
#include "ui/control.h"
#include "ui/file_dialog.h"
#include "ui/label.h"
#include "ui/message_box.h"
#include "ui/skin_manager.h"

namespace fs = std::filesystem;

namespace {

using ringtest::TempDir;

std::wstring Wide(const fs::path& path) {
  return base::UTF8ToWide(path.string());
}

// A path as one word of a shell command, whatever quotes it holds.
std::string Quoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class RingEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<MainForm>();
    form->SetUsageCounterFile(dir / "sonaclip.dat");
    ASSERT_NE(form->Create(0), 0u);
    form->SetShowCaption(false);
    form->SetVisible(true);
    // The player plug-in loads once the shown window has painted itself.
    ASSERT_TRUE(RunUntil([&] { return form->ringContext().wrapper.player() != nullptr; }))
        << "tvplayer.so beside the test";
  }

  void TearDown() override {
    tavio_ui::SetFileDialogAnswererForTesting(nullptr);
    tavio_ui::SetMessageBoxAnswererForTesting(nullptr);
    form.reset();
  }

  const RingContext& ring() const { return form->ringContext(); }

  tavio_ui::Control* Find(const wchar_t* name) const {
    tavio_ui::Control* control = form->FindControl(name);
    EXPECT_NE(control, nullptr) << base::WideToUTF8(name);
    return control;
  }
  template <typename T>
  T* Get(const wchar_t* name) const {
    return static_cast<T*>(Find(name));
  }
  std::wstring Text(const wchar_t* name) const { return Find(name)->GetText(); }
  bool Visible(const wchar_t* name) const { return Find(name)->GetVisible(); }
  bool Enabled(const wchar_t* name) const { return Find(name)->GetEnabled(); }

  // Runs the main loop until done() holds; false after timeoutMs without it.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
      if (clock.elapsed() > timeoutMs) return false;
      base::MessageLoop::current()->RunUntilIdle();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
  void RunFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    RunUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
  }

  // Clicks as a user would, in the middle of the place the skin gave the control.
  void Click(tavio_ui::Control* control) {
    ASSERT_NE(control, nullptr);
    QWidget* widget = control->widget();
    ASSERT_NE(widget, nullptr);
    ASSERT_FALSE(widget->geometry().isEmpty()) << base::WideToUTF8(control->GetName());
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
  }
  void Click(const wchar_t* name) { Click(Find(name)); }

  // Sets a spin edit by its own buttons: the value beside the target, then one step to it.
  void Spin(const wchar_t* name, int value) {
    auto* edit = Get<tavio_ui::SpinEditFoloat>(name);
    const int step = std::wstring(name).find(L"Sec") != std::wstring::npos ? 100 : 1;
    if (value > 0) {
      edit->SetValue(value - step);
      Click(edit->upButtonForTesting());
    } else {
      edit->SetValue(value + step);
      Click(edit->downButtonForTesting());
    }
  }

  // Loads a song as the add-song button does and waits until it plays.
  void OpenSong(const fs::path& song) {
    form->LoadSong(Wide(song));
    ASSERT_TRUE(RunUntil([&] {
      return !form->songPendingForTesting() && ring().playerState == kTVPlayerPlaying &&
             Enabled(L"SaveRing");
    })) << "the song did not open and play: " << song;
  }

  // The next file dialogs answer these paths in turn (empty: cancelled), and record what they
  // were asked.
  void AnswerDialogs(std::vector<fs::path> answers) {
    dialogAnswers = std::move(answers);
    tavio_ui::SetFileDialogAnswererForTesting([this](const tavio_ui::FileDialogRequest& request) {
      dialogRequests.push_back(request);
      std::vector<std::wstring> result;
      if (!dialogAnswers.empty()) {
        if (!dialogAnswers.front().empty()) result.push_back(Wide(dialogAnswers.front()));
        dialogAnswers.erase(dialogAnswers.begin());
      }
      return result;
    });
  }
  void AnswerMessages(int answer) {
    tavio_ui::SetMessageBoxAnswererForTesting([this, answer](const tavio_ui::MessageBoxRequest& r) {
      messages.push_back(r);
      return answer;
    });
  }

  // While the progress window is up, calls act with it every 20 ms until act returns true.
  void WhileProgressShown(std::function<bool(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "SonaclipProcessWnd" && w->isVisible() && act(w)) {
          timer->deleteLater();
          return;
        }
      }
    });
    timer->start(20);
  }
  static QWidget* ProgressChild(QWidget* window, const char* name, const QString& text = {}) {
    for (QWidget* w : window->findChildren<QWidget*>(name)) {
      if (text.isEmpty() || w->accessibleName() == text) return w;
    }
    return nullptr;
  }
  // Closes the progress window with "确定" once it shows `outcome`; records the ring's state then.
  void OkWhenProgressSays(const QString& outcome, const fs::path& ring) {
    WhileProgressShown([this, outcome, ring](QWidget* window) {
      QWidget* info = ProgressChild(window, "ProcessWndInfo");
      if (!info || info->accessibleName() != outcome) return false;
      std::error_code error;
      ringExistedAtOutcome = fs::exists(ring, error);
      QWidget* ok = ProgressChild(window, "ProcessWndCancel", "确定");
      if (!ok || !ok->isVisible()) return false;
      QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
      return true;
    });
  }

  void DropFiles(const std::vector<fs::path>& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const fs::path& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f.string()));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->widget(), &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->widget(), &drop);
  }

  fs::path Song(const std::string& name, int seconds, int channels = 2, int rate = 8000,
                int bits = 16) {
    const fs::path path = dir / name;
    ringtest::WriteWav(path, ringtest::MakeSong(bits, channels, rate, int64_t{rate} * seconds));
    return path;
  }
  fs::path SineMp3(const std::string& name, int seconds, int channels = 2,
                   const std::string& bitrate = "128k") {
    const fs::path path = dir / name;
    EXPECT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=" +
                            std::to_string(seconds) + "' -ar 44100 -ac " + std::to_string(channels) +
                            " -c:a libmp3lame -b:a " + bitrate + " '" + path.string() + "'"),
              0);
    return path;
  }

  TempDir dir{"sonaclip-editor"};
  std::unique_ptr<MainForm> form;
  std::vector<fs::path> dialogAnswers;
  std::vector<tavio_ui::FileDialogRequest> dialogRequests;
  std::vector<tavio_ui::MessageBoxRequest> messages;
  bool ringExistedAtOutcome = false;
};

// ---- the states of the window ----

TEST_F(RingEditorTest, BeforeAnySongNothingCanBePlayedMarkedOrSaved) {
  for (const wchar_t* name : {L"PlayPause", L"CutStart", L"CutEnd", L"ListenRing", L"SaveRing"})
    EXPECT_FALSE(Enabled(name)) << base::WideToUTF8(name);
  for (const wchar_t* name : {L"TryOtherSong", L"SongInfo", L"SizeWarnInfo"})
    EXPECT_FALSE(Visible(name)) << base::WideToUTF8(name);
  EXPECT_TRUE(Visible(L"SongAdvise"));
  EXPECT_TRUE(Visible(L"RingSaveQualityCombox"));
  EXPECT_TRUE(Visible(L"RingSaveQualityLabel"));
  EXPECT_EQ(Text(L"SongName"), L"歌曲名:还未添加歌曲");
  EXPECT_EQ(Text(L"RingTime"), L"未截取");
  EXPECT_EQ(Text(L"RingSaveFormatCombox"), L"MP3");
  EXPECT_EQ(Text(L"RingSaveChannelCombox"), L"双声道");
  EXPECT_EQ(Text(L"RingSaveQualityCombox"), L"默认");
  EXPECT_EQ(Text(L"RingSaveVolCombox"), L"原始");
  EXPECT_EQ(Text(L"HeadFadeEdit"), L"2000");
  // The edits are locked at 0.
  auto* startMinutes = Get<tavio_ui::SpinEditFoloat>(L"EditStartMin");
  Click(startMinutes->upButtonForTesting());
  EXPECT_EQ(startMinutes->GetValue(), 0);
  // Every control of the three steps has its place in the skin.
  for (const wchar_t* name :
       {L"AddSong", L"SongName", L"RingTime", L"RingSize", L"EditStartMin", L"EditStartSec",
        L"EditEndMin", L"EditEndSec", L"PlayPause", L"SonaclipTrackBar", L"PlayTime", L"CutStart",
        L"CutEnd", L"ListenRing", L"HeadFadeCheck", L"TailFadeCheck", L"HeadFadeEdit",
        L"TailFadeEdit", L"SaveRing", L"RingSaveFormatCombox", L"RingSaveChannelCombox",
        L"RingSaveQualityCombox", L"RingSaveVolCombox"}) {
    EXPECT_FALSE(Find(name)->GetPos().IsRectEmpty()) << base::WideToUTF8(name);
  }
}

TEST_F(RingEditorTest, ASongIsChosenOpensPlaysPausesAndAFailedOneSaysSo) {
  const fs::path song = Song("first song.wav", 10, 2, 8000, 16);
  form->LoadSong(Wide(song));
  EXPECT_EQ(Text(L"SongName"), L"歌曲名: first song.wav");
  EXPECT_FALSE(Visible(L"SongAdvise"));
  EXPECT_TRUE(Visible(L"SongInfo"));

  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPlaying && Enabled(L"SaveRing"); }));
  for (const wchar_t* name : {L"PlayPause", L"CutStart", L"CutEnd", L"ListenRing", L"SaveRing"})
    EXPECT_TRUE(Enabled(name)) << base::WideToUTF8(name);
  EXPECT_TRUE(Visible(L"TryOtherSong"));
  EXPECT_EQ(Text(L"SongInfo"), L"(00:10，双声道，8000Hz,256kbps)");
  EXPECT_EQ(Text(L"RingTime"), L"时长: 00:10，大小 ");
  EXPECT_EQ(ring().startMs, 0);
  EXPECT_EQ(ring().endMs, 10000);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditEndSec")->GetValue(), 10000);
  EXPECT_EQ(Get<tavio_ui::CheckBox>(L"PlayPause")->GetState(), tavio_ui::CheckBox::kChecked);
  EXPECT_TRUE(form->positionTimerRunning());

  Click(L"PlayPause");
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }));
  EXPECT_EQ(Get<tavio_ui::CheckBox>(L"PlayPause")->GetState(), tavio_ui::CheckBox::kUnchecked);
  EXPECT_FALSE(form->positionTimerRunning());
  Click(L"PlayPause");
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPlaying; }));

  // Not audio at all: the window says so and keeps the buttons as they were.
  ringtest::WriteAll(dir / "notes.mp3", "these are not sounds");
  form->LoadSong(Wide(dir / "notes.mp3"));
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerOpenFailed; }));
  EXPECT_EQ(Text(L"SongInfo"), L"打开文件失败！");
  EXPECT_EQ(Text(L"RingTime"), L"未截取");
  EXPECT_EQ(Text(L"RingSize"), L"");
  EXPECT_EQ(Get<tavio_ui::DigitalClock>(L"PlayTime")->GetSeconds(), 0);
  EXPECT_TRUE(Enabled(L"SaveRing"));
  EXPECT_EQ(ring().songPath, Wide(dir / "notes.mp3"));
}

TEST_F(RingEditorTest, ASecondSongResetsTheOptionsAndTheFades) {
  OpenSong(Song("one.wav", 4));
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(1);
  Get<SimpleCombobox>(L"RingSaveChannelCombox")->SetSelected(0);
  Get<SimpleCombobox>(L"RingSaveVolCombox")->SetSelected(3);
  Get<tavio_ui::RichEdit>(L"HeadFadeEdit")->SetText(L"50");
  EXPECT_FALSE(Visible(L"RingSaveQualityCombox"));
  EXPECT_EQ(ring().outputFormat, TVPlayerWrapper::kFormatWav);
  EXPECT_EQ(ring().channelCount, 1);
  EXPECT_EQ(ring().volumeIndex, 3);
  EXPECT_EQ(ring().headFadeMs, 50);

  OpenSong(Song("two.wav", 3));
  EXPECT_EQ(Text(L"RingSaveFormatCombox"), L"MP3");
  EXPECT_EQ(Text(L"RingSaveChannelCombox"), L"双声道");
  EXPECT_EQ(Text(L"RingSaveQualityCombox"), L"默认");
  EXPECT_EQ(Text(L"RingSaveVolCombox"), L"原始");
  EXPECT_EQ(Text(L"HeadFadeEdit"), L"2000");
  EXPECT_TRUE(Visible(L"RingSaveQualityCombox"));
  // The record the save reads agrees with what the window shows.
  EXPECT_EQ(ring().outputFormat, TVPlayerWrapper::kFormatMp3);
  EXPECT_EQ(ring().channelCount, 2);
  EXPECT_EQ(ring().volumeIndex, 0);
  EXPECT_EQ(ring().headFadeMs, 2000);
  EXPECT_EQ(ring().endMs, 3000);
}

// The format and the preview asked for before the second song's opened notification apply to
// that song once it has opened: its figures, its edits and bar, its WAV rate, then the preview.
TEST_F(RingEditorTest, ChoicesMadeWhileASongOpensApplyToItOnceOpen) {
  OpenSong(Song("first.wav", 4));
  form->LoadSong(Wide(Song("second.wav", 8, 1, 8000, 8)));
  Click(L"ListenRing");
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(1);
  ASSERT_TRUE(RunUntil([&] {
    return !form->songPendingForTesting() && ring().playerState == kTVPlayerPlaying;
  })) << "the second song never counted as opened";
  EXPECT_EQ(Text(L"SongInfo"), L"(00:08，单声道，8000Hz,<c #FF0000>64kbps</c>)");
  EXPECT_EQ(ring().durationMs, 8000);
  EXPECT_EQ(ring().endMs, 8000);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditEndSec")->GetValue(), 8000);
  EXPECT_EQ(Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar")->GetSectionEnd(), 1000);
  // WAV at the ring's two channels of the song's 8 bits, not the song's own 64 kbps.
  EXPECT_EQ(ring().bitrateKbps, 128);
  EXPECT_EQ(ring().ringSizeKB, ring::SizeKB(8000, 128));
  EXPECT_TRUE(form->listenModeForTesting());
  ASSERT_TRUE(RunUntil([&] { return ring().position >= 1000 * kUnitsPerMillisecond; }));
  EXPECT_EQ(ring().playerState, kTVPlayerPlaying) << "the preview runs to the section's end";
}

// ---- the figures a person sees ----

TEST_F(RingEditorTest, ALowBitrateShowsRedAndTheSizeFollowsTheOptions) {
  // 8-bit mono at 8 kHz: 64 kbps, below the advice.
  OpenSong(Song("thin.wav", 40, 1, 8000, 8));
  EXPECT_EQ(Text(L"SongInfo"), L"(00:40，单声道，8000Hz,<c #FF0000>64kbps</c>)");

  // A louder, larger source: a 44.1 kHz MP3, cut at 128 kbps ("标准").
  OpenSong(SineMp3("long.mp3", 140, 1, "32k"));
  Get<SimpleCombobox>(L"RingSaveQualityCombox")->SetSelected(2);
  Spin(L"EditEndMin", 0);
  Spin(L"EditEndSec", 30000);
  EXPECT_EQ(ring().endMs, 30000);
  EXPECT_EQ(Text(L"RingSize"), L"470KB");
  EXPECT_FALSE(Visible(L"SizeWarnInfo"));

  // 131 072 ms: 2049 KB, red and warned; 131 000 ms: 2048 KB, plain.
  Get<tavio_ui::SpinEditFoloat>(L"EditEndMin")->SetValue(2);
  Spin(L"EditEndSec", 11072);
  EXPECT_EQ(ring().endMs, 131072);
  EXPECT_EQ(Text(L"RingSize"), L"<c #FF0000>2049KB</c>");
  EXPECT_TRUE(Visible(L"SizeWarnInfo"));
  EXPECT_EQ(Text(L"SizeWarnInfo"), L"(铃声大小不得超过2.0M)");
  Spin(L"EditEndSec", 11000);
  EXPECT_EQ(Text(L"RingSize"), L"2048KB");
  EXPECT_FALSE(Visible(L"SizeWarnInfo"));

  // WAV keeps the source's 16 bits at the ring's channels: 1411 kbps in stereo, half in mono,
  // although the song itself is mono.
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(1);
  EXPECT_EQ(ring().bitrateKbps, 1411);
  EXPECT_EQ(ring().ringSizeKB, ring::SizeKB(131000, 1411));
  Get<SimpleCombobox>(L"RingSaveChannelCombox")->SetSelected(0);
  EXPECT_EQ(ring().ringSizeKB, ring::SizeKB(131000, 705));
  // Back to MP3: the rate comes from the quality choice again, not from the WAV rule.
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(0);
  EXPECT_EQ(ring().bitrateKbps, 128);
  EXPECT_TRUE(Visible(L"RingSaveQualityCombox"));
}

TEST_F(RingEditorTest, TheLastMinuteClampsItsSecondsAndEditsSwapPastEachOther) {
  // 3:25.4 at 8-bit mono 8 kHz.
  const fs::path path = dir / "long.wav";
  ringtest::WriteWav(path, ringtest::MakeSong(8, 1, 8000, 8000 * 205 + 3200));
  OpenSong(path);
  EXPECT_EQ(ring().durationMs, 205400);

  Spin(L"EditStartSec", 59900);
  Spin(L"EditStartMin", 3);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditStartSec")->GetValue(), 25400);
  EXPECT_EQ(ring().startMs, 205400);
  EXPECT_FALSE(Enabled(L"SaveRing")) << "an empty section cannot be saved";

  // The start edited past the end swaps the two, in the edits and on the track bar.
  Spin(L"EditEndMin", 1);  // end 1:25.4 now lies before the start 3:25.4
  EXPECT_EQ(ring().startMs, 85400);
  EXPECT_EQ(ring().endMs, 205400);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditStartMin")->GetValue(), 1);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditEndMin")->GetValue(), 3);
  auto* bar = Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar");
  EXPECT_EQ(bar->GetSectionStart(), 415);
  EXPECT_EQ(bar->GetSectionEnd(), 1000);
  Spin(L"EditStartMin", 2);
  Spin(L"EditStartSec", 59900);  // 2:59.9: still before the end
  EXPECT_EQ(ring().startMs, 179900);
  Spin(L"EditStartMin", 3);  // 3:59.9 → clamped to 3:25.4, equal to the end
  EXPECT_EQ(ring().startMs, 205400);
  EXPECT_TRUE(Enabled(L"CutStart"));
  EXPECT_FALSE(Enabled(L"ListenRing"));

  // The start edited past the end swaps the two the same way.
  Spin(L"EditStartMin", 1);  // 1:25.4
  Spin(L"EditEndMin", 2);    // 2:25.4
  ASSERT_EQ(ring().startMs, 85400);
  ASSERT_EQ(ring().endMs, 145400);
  Spin(L"EditStartMin", 3);  // 3:25.4, past the end
  EXPECT_EQ(ring().startMs, 145400);
  EXPECT_EQ(ring().endMs, 205400);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditStartMin")->GetValue(), 2);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditEndMin")->GetValue(), 3);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditEndSec")->GetValue(), 25400);
  EXPECT_EQ(bar->GetSectionStart(), 707);
  EXPECT_EQ(bar->GetSectionEnd(), 1000);
  EXPECT_TRUE(Enabled(L"SaveRing"));
}

// ---- marking while listening ----

TEST_F(RingEditorTest, MarksTakeThePlayPositionWhilePlayingAndZeroOtherwise) {
  OpenSong(Song("mark.wav", 20));
  ASSERT_TRUE(RunUntil([&] { return ring().position >= 1500 * kUnitsPerMillisecond; }))
      << "positions advance on the null sink";
  Click(L"CutStart");
  const int32_t start = ring().startMs;
  EXPECT_GE(start, 1500);
  ASSERT_TRUE(RunUntil([&] { return ring().position / kUnitsPerMillisecond >= start + 1000; }));
  Click(L"CutEnd");
  EXPECT_GE(ring().endMs, start + 1000);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditStartSec")->GetValue(), start % 60000);
  auto* bar = Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar");
  EXPECT_EQ(bar->GetSectionStart(), start * 1000 / 20000);
  EXPECT_TRUE(Enabled(L"SaveRing"));
  EXPECT_EQ(Text(L"RingTime"), L"时长: " + ring::TimeText((ring().endMs - start) / 1000) + L"，大小 ");

  // A start marked after the end swaps with it.
  const int32_t end = ring().endMs;
  ASSERT_TRUE(RunUntil([&] { return ring().position / kUnitsPerMillisecond >= end + 500; }));
  Click(L"CutStart");
  EXPECT_EQ(ring().startMs, end);
  EXPECT_GE(ring().endMs, end + 500);
  EXPECT_EQ(bar->GetSectionStart(), end * 1000 / 20000);
  EXPECT_EQ(bar->GetSectionEnd(), ring().endMs * 1000 / 20000);

  // Paused: a mark takes 0. An end at 0 before the start swaps with it.
  Click(L"PlayPause");
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }));
  const int32_t oldStart = ring().startMs;
  Click(L"CutEnd");
  EXPECT_EQ(ring().startMs, 0);
  EXPECT_EQ(ring().endMs, oldStart);
  Click(L"CutStart");  // start 0 again, end stays
  EXPECT_EQ(ring().startMs, 0);
  EXPECT_EQ(ring().endMs, oldStart);
  Click(L"CutEnd");  // end 0 = start 0: nothing to save
  EXPECT_EQ(ring().endMs, 0);
  EXPECT_FALSE(Enabled(L"SaveRing"));
}

TEST_F(RingEditorTest, ListeningPlaysTheSectionAndPausesWithinATickAfterItsEnd) {
  OpenSong(Song("listen.wav", 20));
  Spin(L"EditStartSec", 3000);
  Spin(L"EditEndSec", 5000);
  Click(L"PlayPause");
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }));

  Click(L"ListenRing");  // paused: the file is reopened and the opened notice seeks to the start
  EXPECT_TRUE(form->listenModeForTesting());
  ASSERT_TRUE(RunUntil([&] {
    return ring().playerState == kTVPlayerPlaying && ring().position >= 3000 * kUnitsPerMillisecond;
  }));
  EXPECT_LT(ring().position, 4500 * kUnitsPerMillisecond) << "the preview starts at the section";
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }, 15000));
  EXPECT_FALSE(form->listenModeForTesting());
  // One tick of 200 ms, plus the player's own reporting step, past the end at the most.
  EXPECT_GT(ring().position, 5000 * kUnitsPerMillisecond);
  EXPECT_LT(ring().position, 5600 * kUnitsPerMillisecond);

  // CutEnd ends a preview even without marking anything new.
  Click(L"ListenRing");
  EXPECT_TRUE(form->listenModeForTesting());
  Click(L"CutEnd");
  EXPECT_FALSE(form->listenModeForTesting());
}

QPoint Centre(const tavio_ui::CRect& rect) {
  return QPoint((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

TEST_F(RingEditorTest, ATenMinuteSongPreviewsAndShowsItsLastSeconds) {
  // Past 429.5 s a position in 32 bits of 100-ns units would wrap.
  const fs::path path = dir / "ten minutes.wav";
  ringtest::WriteWav(path, ringtest::MakeSong(8, 1, 8000, 8000 * 600));
  OpenSong(path);
  EXPECT_EQ(ring().durationMs, 600000);
  Spin(L"EditEndMin", 9);  // the end first, so the start never passes it
  Spin(L"EditEndSec", 59000);
  Spin(L"EditStartMin", 9);
  Spin(L"EditStartSec", 57000);
  ASSERT_EQ(ring().startMs, 597000);
  ASSERT_EQ(ring().endMs, 599000);
  Click(L"ListenRing");
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPlaying && ring().position >= 597000 * kUnitsPerMillisecond; }));
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }, 15000));
  EXPECT_GT(ring().position, 599000 * kUnitsPerMillisecond);
  EXPECT_LT(ring().position, 599600 * kUnitsPerMillisecond);
  const int shown = Get<tavio_ui::DigitalClock>(L"PlayTime")->GetSeconds();
  EXPECT_TRUE(shown == 599 || shown == 600) << shown;
  const int thumb = Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar")->GetValue();
  EXPECT_TRUE(thumb == 998 || thumb == 999) << thumb;
}

TEST_F(RingEditorTest, AHeldThumbIsLeftAloneAndItsReleaseSeeks) {
  OpenSong(Song("thumb.wav", 20));
  Spin(L"EditEndSec", 5000);
  Click(L"ListenRing");  // released past the section's end, the thumb ends this preview
  auto* bar = Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar");
  QWidget* widget = bar->widget();
  ASSERT_TRUE(RunUntil([&] { return ring().position >= 500 * kUnitsPerMillisecond; }));
  form->OnPositionTick();

  const QPoint grip = Centre(bar->GetThumbRect());
  const QPoint target(bar->GetTrackRect().left + bar->GetTrackRect().Width() * 3 / 4, grip.y());
  QTest::mousePress(widget, Qt::LeftButton, {}, grip);
  QTest::mouseMove(widget, target);
  const int held = bar->GetValue();
  EXPECT_GT(held, 600);
  RunFor(700);  // three ticks while the thumb is held: the timer leaves it where the hand is
  EXPECT_EQ(bar->GetValue(), held);

  QTest::mouseRelease(widget, Qt::LeftButton, {}, target);
  ASSERT_TRUE(RunUntil([&] { return ring().position / kUnitsPerMillisecond >= held * 20 - 100; }))
      << "the player seeks to the released thumb";
  EXPECT_TRUE(form->positionTimerRunning());
  EXPECT_FALSE(form->listenModeForTesting());
  RunFor(500);
  EXPECT_EQ(ring().playerState, kTVPlayerPlaying) << "no preview pauses it past the section";
}

TEST_F(RingEditorTest, TheSongsEndStopsTheClockAndPlayStartsItAgain) {
  OpenSong(Song("short.wav", 2));
  auto* bar = Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar");
  ASSERT_TRUE(RunUntil([&] { return bar->GetValue() > 300; }));
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerStopped; }, 10000));
  EXPECT_EQ(bar->GetValue(), 0);
  EXPECT_EQ(Get<tavio_ui::DigitalClock>(L"PlayTime")->GetSeconds(), 0);
  EXPECT_FALSE(form->positionTimerRunning());
  EXPECT_EQ(Get<tavio_ui::CheckBox>(L"PlayPause")->GetState(), tavio_ui::CheckBox::kUnchecked);

  Click(L"PlayPause");  // stopped: the song is opened again and plays from its start
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPlaying; }));
  EXPECT_TRUE(form->positionTimerRunning());
  ASSERT_TRUE(RunUntil([&] { return bar->GetValue() > 0; }));
  EXPECT_LT(ring().position, 1500 * kUnitsPerMillisecond);
}

TEST_F(RingEditorTest, DraggingAMarkerMovesTheSection) {
  OpenSong(Song("markers.wav", 20));
  auto* bar = Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar");
  QWidget* widget = bar->widget();
  const tavio_ui::CRect track = bar->GetTrackRect();

  // The start marker from the left end to a quarter, the end marker from the right end to 60 %.
  const QPoint start = Centre(bar->GetStartMarkerRect());
  const QPoint quarter(track.left + track.Width() / 4, start.y());
  QTest::mousePress(widget, Qt::LeftButton, {}, start);
  QTest::mouseMove(widget, quarter);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, quarter);
  const QPoint end = Centre(bar->GetEndMarkerRect());
  const QPoint sixty(track.left + track.Width() * 6 / 10, end.y());
  QTest::mousePress(widget, Qt::LeftButton, {}, end);
  QTest::mouseMove(widget, sixty);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, sixty);

  EXPECT_NEAR(bar->GetSectionStart(), 250, 20);
  EXPECT_NEAR(bar->GetSectionEnd(), 600, 20);
  EXPECT_EQ(ring().startMs, int64_t{bar->GetSectionStart()} * 20000 / 1000);
  EXPECT_EQ(ring().endMs, int64_t{bar->GetSectionEnd()} * 20000 / 1000);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditStartSec")->GetValue(), ring().startMs % 60000);
  EXPECT_EQ(Get<tavio_ui::SpinEditFoloat>(L"EditEndSec")->GetValue(), ring().endMs % 60000);
  // Releasing the end marker sent the player to the section's end.
  ASSERT_TRUE(RunUntil([&] { return ring().position / kUnitsPerMillisecond >= ring().endMs - 100; }));
}

// ---- songs coming in ----

TEST_F(RingEditorTest, OneDroppedFileLoadsAndTwoAreRefusedKeepingTheSong) {
  const fs::path first = Song("dropped.wav", 3);
  const fs::path second = Song("second.wav", 3);
  AnswerMessages(IDOK);
  DropFiles({first});
  ASSERT_TRUE(RunUntil([&] { return ring().songPath == Wide(first) && Enabled(L"SaveRing"); }));
  DropFiles({first, second});
  RunFor(300);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, L"每次只能打开一个文件，请重新操作！");
  EXPECT_EQ(messages[0].caption, L"提示");
  EXPECT_EQ(messages[0].type, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(messages[0].owner, 0u);
  EXPECT_EQ(ring().songPath, Wide(first));
}

TEST_F(RingEditorTest, TheAddSongDialogOffersEveryAudioFilterAndLoadsTheChoice) {
  const fs::path song = Song("picked.wav", 3);
  AnswerDialogs({song});
  Click(L"AddSong");
  ASSERT_EQ(dialogRequests.size(), 1u);
  const tavio_ui::FileDialogRequest& request = dialogRequests[0];
  EXPECT_FALSE(request.save);
  ASSERT_EQ(request.filters.size(), 18u);
  EXPECT_EQ(request.filters[0].description, L"所有音频文件");
  EXPECT_EQ(request.filters[0].patterns.size(), 27u);
  EXPECT_EQ(request.filters[1].description, L"所有文件");
  EXPECT_EQ(request.filters[12].description, L"MP3音乐文件(*.mp3)");
  EXPECT_EQ(request.filters[17].description, L"Window Media音乐文件(*.wma)");
  EXPECT_EQ(request.filterIndex, 1);
  ASSERT_TRUE(RunUntil([&] { return Enabled(L"SaveRing"); }));
  EXPECT_EQ(ring().songPath, Wide(song));

  AnswerDialogs({fs::path()});  // cancelled: nothing changes
  Click(L"AddSong");
  EXPECT_EQ(ring().songPath, Wide(song));
  EXPECT_EQ(form->usageCounters().records(), std::vector<uint32_t>{1001u | (2u << 16)});
}

TEST_F(RingEditorTest, TheOtherRingtonesLinkOpensForTheSongOnceItHasOpened) {
  std::vector<std::wstring> opened;
  bool pageShown = true;
  form->SetOtherRingsOpener([&](HWND owner, const std::wstring& songFileName) {
    EXPECT_EQ(owner, form->GetHWND());
    opened.push_back(songFileName);
    return pageShown;
  });
  AnswerMessages(IDOK);
  form->LoadSong(Wide(Song("夜曲 & friends #1.live.wav", 3)));
  EXPECT_FALSE(Visible(L"TryOtherSong")) << "shown only once the song has opened";
  ASSERT_TRUE(RunUntil([&] { return Visible(L"TryOtherSong"); }));
  Click(L"TryOtherSong");
  EXPECT_EQ(opened, std::vector<std::wstring>{L"夜曲 & friends #1.live.wav"});
  EXPECT_EQ(form->usageCounters().records(), std::vector<uint32_t>{1012u | (1u << 16)});
  EXPECT_TRUE(messages.empty());

  // A page that cannot be shown (no web plug-in, no OpenGL) is said so, and the window goes on.
  pageShown = false;
  Click(L"TryOtherSong");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, L"无法显示铃声页面。");
  EXPECT_EQ(messages[0].caption, L"提示");
  EXPECT_TRUE(Enabled(L"SaveRing"));
}

// ---- saving ----

// A long folder name, Chinese, spaces and quotes: no part of the save cuts or mangles the path.
fs::path LongAwkwardFolder(const fs::path& base) {
  fs::path folder = base;
  for (int i = 0; i < 6; ++i) folder /= "很长的 \"文件夹\" 'name' " + std::to_string(i) + std::string(20, 'x');
  fs::create_directories(folder);
  return folder;
}

TEST_F(RingEditorTest, AWavRingFromTheWindowEqualsTheCommandLineCutter) {
  const fs::path folder = LongAwkwardFolder(dir.path());
  const fs::path song = folder / "我的 \"歌\" song.wav";
  ringtest::WriteWav(song, ringtest::MakeSong(16, 2, 8000, 8000 * 10, 7));
  ASSERT_GT(song.string().size(), 300u);
  OpenSong(song);
  EXPECT_EQ(Text(L"SongName"), L"歌曲名: 我的 \"歌\" song.wav");

  Spin(L"EditStartSec", 2000);
  Spin(L"EditEndSec", 7500);
  Click(L"HeadFadeCheck");
  Get<tavio_ui::RichEdit>(L"HeadFadeEdit")->SetText(L"50");  // becomes the shortest fade, 200 ms
  Click(L"TailFadeCheck");
  Get<tavio_ui::RichEdit>(L"TailFadeEdit")->SetText(L"1500ms");  // the number before the unit
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(1);
  Get<SimpleCombobox>(L"RingSaveChannelCombox")->SetSelected(0);
  Get<SimpleCombobox>(L"RingSaveVolCombox")->SetSelected(1);  // × 1.5

  const fs::path ringPath = folder / "铃声 'one'.wav";
  AnswerDialogs({ringPath});
  int shortcutCalls = 0;
  form->SetShortcutPlacer([&] { ++shortcutCalls; });
  OkWhenProgressSays("铃声保存成功！", ringPath);
  Click(L"SaveRing");

  ASSERT_EQ(dialogRequests.size(), 1u);
  EXPECT_TRUE(dialogRequests[0].save);
  ASSERT_EQ(dialogRequests[0].filters.size(), 1u);
  EXPECT_EQ(dialogRequests[0].filters[0].description, L"波形文件(*.wav)");
  EXPECT_EQ(dialogRequests[0].defaultExtension, L"wav");
  EXPECT_EQ(dialogRequests[0].initialPath, ring().outputDir + L"/我的 \"歌\" song");
  EXPECT_TRUE(fs::is_directory(base::RingFolder())) << "the Ring folder is made before the dialog";
  EXPECT_TRUE(ringExistedAtOutcome) << "success was shown for a ring that did not exist yet";
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(shortcutCalls, 1);
  EXPECT_FALSE(form->positionTimerRunning());
  EXPECT_EQ(Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar")->GetValue(), 0);

  const fs::path cutterRing = dir / "cutter.wav";
  fs::path bin;
  base::PathService::Get(base::PathService::DIR_EXE, &bin);
  ASSERT_EQ(ringtest::Run(Quoted(bin / "sonaclip-cut") +
                          " --start 0:02.000 --end 0:07.500 --fade-in 200ms --fade-out 1.5"
                          " --volume 1.5"
                          " --channels 1 --format wav " + Quoted(song) + " " +
                          Quoted(cutterRing)),
            0);
  const std::string made = ringtest::ReadAll(ringPath);
  // 5.5 s of mono 16-bit at 8 kHz, and the one frame the cut takes past its end.
  EXPECT_EQ(made.size(), 44u + (5500u * 8u + 1u) * 2u);
  EXPECT_TRUE(made == ringtest::ReadAll(cutterRing)) << "the two rings differ";

  // A second save in the run does not place the launcher again.
  AnswerDialogs({folder / "two.wav"});
  OkWhenProgressSays("铃声保存成功！", folder / "two.wav");
  Click(L"SaveRing");
  EXPECT_EQ(shortcutCalls, 1);
  EXPECT_TRUE(fs::exists(folder / "two.wav"));
}

TEST_F(RingEditorTest, AnMp3RingDecodesToTheSectionsLengthAtTheChosenQuality) {
  OpenSong(SineMp3("tune.mp3", 12));
  Spin(L"EditStartSec", 1000);
  Spin(L"EditEndSec", 4000);
  struct Case {
    int quality;  // index of "一般", "很好"
    const char* bitRate;
  };
  for (const Case& c : {Case{1, "64000"}, Case{3, "192000"}}) {
    Get<SimpleCombobox>(L"RingSaveQualityCombox")->SetSelected(c.quality);
    dialogRequests.clear();
    const fs::path ringPath = dir / ("ring" + std::to_string(c.quality) + ".mp3");
    AnswerDialogs({ringPath});
    OkWhenProgressSays("铃声保存成功！", ringPath);
    Click(L"SaveRing");
    ASSERT_EQ(dialogRequests.size(), 1u);
    ASSERT_EQ(dialogRequests[0].filters.size(), 1u);
    EXPECT_EQ(dialogRequests[0].filters[0].description, L"MP3音乐文件(*.mp3)");
    EXPECT_EQ(dialogRequests[0].filters[0].patterns, std::vector<std::wstring>{L"*.mp3"});
    EXPECT_EQ(dialogRequests[0].defaultExtension, L"mp3");
    ASSERT_TRUE(fs::exists(ringPath));
    EXPECT_EQ(ringtest::ProbeStream(ringPath, "bit_rate"), c.bitRate);
    const int64_t frames = ringtest::DecodedFrames(ringPath, 2);
    EXPECT_NEAR(frames, 3 * 44100, 44100 / 100) << "three seconds, give or take 10 ms";
  }
}

// "自动响度" saves the cutter's --loudness ring, byte for byte, and the meter reads it at -14 LUFS.
TEST_F(RingEditorTest, TheLoudnessItemSavesTheCuttersNormalisedRing) {
  const fs::path song = SineMp3("tune.mp3", 12);
  OpenSong(song);
  Spin(L"EditStartSec", 1000);
  Spin(L"EditEndSec", 9000);
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(1);
  Get<SimpleCombobox>(L"RingSaveVolCombox")->SetSelected(5);
  EXPECT_EQ(Text(L"RingSaveVolCombox"), L"自动响度");
  const fs::path ringPath = dir / "ring.wav";
  AnswerDialogs({ringPath});
  OkWhenProgressSays("铃声保存成功！", ringPath);
  Click(L"SaveRing");
  ASSERT_TRUE(fs::exists(ringPath));
  EXPECT_NEAR(ringtest::MeasureLoudness(ringPath).lufs, -14.0, 0.5);

  fs::path bin;
  base::PathService::Get(base::PathService::DIR_EXE, &bin);
  const fs::path cutterRing = dir / "cutter.wav";
  ASSERT_EQ(ringtest::Run(Quoted(bin / "sonaclip-cut") + " --start 1 --end 9 --loudness " +
                          Quoted(song) + " " + Quoted(cutterRing)),
            0);
  EXPECT_TRUE(ringtest::ReadAll(ringPath) == ringtest::ReadAll(cutterRing)) << "the rings differ";
}

TEST_F(RingEditorTest, CancellingTheSaveLeavesTheOlderFile) {
  OpenSong(SineMp3("long.mp3", 60));
  const fs::path ringPath = dir / "ring.mp3";
  ringtest::WriteAll(ringPath, "the user's own file");
  AnswerDialogs({ringPath});
  WhileProgressShown([](QWidget* window) {
    QWidget* cancel = ProgressChild(window, "ProcessWndCancel", "取消");
    if (!cancel || !cancel->isVisible()) return false;
    QTest::mouseClick(cancel, Qt::LeftButton, {}, cancel->rect().center());
    return true;
  });
  Click(L"SaveRing");
  EXPECT_EQ(ringtest::ReadAll(ringPath), "the user's own file");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"long.mp3", "ring.mp3"}));
}

// The two formats for phones: the combobox offers them after MP3 and WAV; their estimate is the
// size the ring really has; M4R refuses a section over 40 s in red and opens no dialog until it
// is 40 s or less; each save asks for its own file type, and the ring decodes to the section with
// the song's cover.
TEST_F(RingEditorTest, M4rAndOggRingsForPhonesWithTheSongsCover) {
  AnswerMessages(IDOK);
  auto* format = Get<SimpleCombobox>(L"RingSaveFormatCombox");
  std::vector<std::wstring> items;
  for (int i = 0; i < 4; ++i) {
    format->SetSelected(i);
    items.push_back(format->GetText());
  }
  EXPECT_EQ(items, (std::vector<std::wstring>{L"MP3", L"WAV", L"M4R", L"OGG"}));

  // Music-like: a tone over noise, with the song's tags and a cover.
  const fs::path song = dir / "tagged.mp3";
  const fs::path cover = dir / "cover.png";
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i color=c=blue:s=32x32 -frames:v 1 " +
                          Quoted(cover)),
            0);
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i 'sine=frequency=440:duration=60' "
                          "-f lavfi -i 'anoisesrc=d=60:a=0.05' -i " + Quoted(cover) +
                          " -filter_complex '[0:a][1:a]amix=inputs=2[a]' -map '[a]' -map 2:v "
                          "-c:v copy -disposition:v attached_pic -metadata title=曲 "
                          "-ar 44100 -ac 2 -c:a libmp3lame -b:a 192k " + Quoted(song)),
            0);
  OpenSong(song);
  format->SetSelected(2);  // M4R, at the song's own rate ("默认") and the 2 MB warning's place
  EXPECT_TRUE(Visible(L"RingSaveQualityCombox"));
  EXPECT_EQ(ring().outputFormat, TVPlayerWrapper::kFormatM4r);
  EXPECT_TRUE(Visible(L"SizeWarnInfo"));
  EXPECT_EQ(Text(L"SizeWarnInfo"), L"iPhone铃声不能超过40秒");
  AnswerDialogs({dir / "never.m4r"});
  Click(L"SaveRing");
  EXPECT_TRUE(dialogRequests.empty()) << "no dialog for a ring an iPhone refuses";

  Get<SimpleCombobox>(L"RingSaveQualityCombox")->SetSelected(2);  // 128 kbps
  Spin(L"EditEndMin", 0);
  Spin(L"EditEndSec", 35000);
  Spin(L"EditStartSec", 5000);
  ASSERT_EQ(ring().endMs - ring().startMs, 30000) << ring().startMs << " to " << ring().endMs;
  EXPECT_FALSE(Visible(L"SizeWarnInfo"));
  const struct {
    int item;
    const char* file;
    const wchar_t* filter;
    const wchar_t* extension;
    const char* codec;
  } saves[] = {{2, "ring.m4r", L"iPhone铃声文件(*.m4r)", L"m4r", "aac"},
               {3, "ring.ogg", L"OGG音乐文件(*.ogg)", L"ogg", "vorbis"}};
  for (const auto& save : saves) {
    SCOPED_TRACE(save.file);
    format->SetSelected(save.item);
    dialogRequests.clear();
    const fs::path ringPath = dir / save.file;
    AnswerDialogs({ringPath});
    OkWhenProgressSays("铃声保存成功！", ringPath);
    Click(L"SaveRing");
    EXPECT_TRUE(messages.empty()) << "the save failed";
    ASSERT_EQ(dialogRequests.size(), 1u);
    ASSERT_EQ(dialogRequests[0].filters.size(), 1u);
    EXPECT_EQ(dialogRequests[0].filters[0].description, save.filter);
    EXPECT_EQ(dialogRequests[0].defaultExtension, save.extension);
    ASSERT_TRUE(fs::exists(ringPath));
    EXPECT_EQ(ringtest::ProbeStream(ringPath, "codec_name"), save.codec);
    EXPECT_EQ(ringtest::DecodedFrames(ringPath, 2), 30 * 44100 + 1);
    EXPECT_EQ(ringtest::Capture("ffprobe -v error -select_streams v -show_entries "
                                "stream_disposition=attached_pic -of csv=p=0 " + Quoted(ringPath)),
              "1\n");
    // AAC keeps to its rate; Vorbis averages by estimate (as the ffmpeg command's libvorbis
    // does) and spends less than the chosen rate on sound this plain, so there the estimate is
    // an upper bound.
    const double sizeKB = fs::file_size(ringPath) / 1024.0;
    if (save.item == 2) {
      EXPECT_NEAR(ring().ringSizeKB, sizeKB, sizeKB * 0.15);
    } else {
      EXPECT_GE(ring().ringSizeKB, sizeKB);
      EXPECT_LE(ring().ringSizeKB, sizeKB * 1.6);
    }
  }
}

TEST_F(RingEditorTest, TheSongItselfIsNeverTheRingWhateverItsPathSays) {
  const fs::path song = Song("own.wav", 4);
  fs::create_symlink(song, dir / "link.wav");
  fs::create_directory(dir / "sub");
  const std::string before = ringtest::ReadAll(song);
  OpenSong(song);
  int launchers = 0;
  form->SetShortcutPlacer([&] { ++launchers; });

  // The exact path, a link to it, and a path through "..": each asks; No ends the save.
  AnswerMessages(IDNO);
  for (const fs::path& target : {song, dir / "link.wav", dir / "sub" / ".." / "own.wav"}) {
    messages.clear();
    AnswerDialogs({target});
    Click(L"SaveRing");
    ASSERT_EQ(messages.size(), 1u) << target;
    EXPECT_EQ(messages[0].text,
              L"铃声源文件正在编辑使用中，无法替换！\r\n如需保存铃声，请重新选择保存路径和文件名。");
    EXPECT_EQ(messages[0].type, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
  }
  // Yes opens the dialog again; cancelling it ends the save without a cut.
  AnswerMessages(IDYES);
  AnswerDialogs({song, fs::path()});
  Click(L"SaveRing");
  EXPECT_EQ(dialogRequests.size(), 5u);
  EXPECT_EQ(ringtest::ReadAll(song), before);
  EXPECT_EQ(launchers, 0) << "no save got past the choice of its file yet";
  // Another letter case is another file here.
  AnswerDialogs({dir / "OWN.wav"});
  OkWhenProgressSays("铃声保存成功！", dir / "OWN.wav");
  Click(L"SaveRing");
  EXPECT_TRUE(fs::exists(dir / "OWN.wav"));
  EXPECT_EQ(ringtest::ReadAll(song), before);
  EXPECT_EQ(launchers, 1);
}

TEST_F(RingEditorTest, AFailedSaveSaysSoInTheWindowOrInAMessage) {
  OpenSong(Song("fail.wav", 4));
  AnswerMessages(IDOK);

  // The job cannot start: the folder does not exist. No window, a message, no file.
  AnswerDialogs({dir / "missing" / "ring.mp3"});
  Click(L"SaveRing");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, L"铃声保存失败，请检查保存位置后重试。");
  EXPECT_EQ(messages[0].caption, L"提示");
  EXPECT_FALSE(fs::exists(dir / "missing"));

  // The job runs but its ring cannot take its name (a folder of that name is in the way): the
  // progress window says it failed and offers OK.
  fs::create_directory(dir / "taken.wav");
  AnswerDialogs({dir / "taken.wav"});
  OkWhenProgressSays("铃声保存失败！", dir / "taken.wav");
  Click(L"SaveRing");
  EXPECT_TRUE(fs::is_directory(dir / "taken.wav"));
  EXPECT_EQ(messages.size(), 1u) << "the window told it; no second message";

  // The song itself no longer opens: the message says so, not where to save.
  ringtest::WriteAll(dir / "fail.wav", "no longer a song");
  AnswerDialogs({dir / "ring.wav"});
  Click(L"SaveRing");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].text, L"歌曲无法打开，请重新添加歌曲。");
  EXPECT_FALSE(fs::exists(dir / "ring.wav"));
}

// A song cut off after 10.5 s whose header promises a minute: a section that passes its real end
// fails in the progress window, then a message says where the song ended; the older ring stays.
TEST_F(RingEditorTest, ASongThatEndsBeforeItsSectionIsNoRingAndTheWindowSaysWhere) {
  const fs::path song = dir / "cut off.mp3";
  ASSERT_TRUE(ringtest::MakeCutOffMp3(song, 60, 168000));
  OpenSong(song);
  EXPECT_EQ(ring().durationMs / 1000, 60) << "the header's length";
  Spin(L"EditStartSec", 2000);
  Spin(L"EditEndSec", 40000);
  ringtest::WriteAll(dir / "ring.mp3", "older");
  AnswerMessages(IDOK);
  AnswerDialogs({dir / "ring.mp3"});
  OkWhenProgressSays("铃声保存失败！", dir / "ring.mp3");
  Click(L"SaveRing");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, L"歌曲在00:10处提前结束，请重新选择截取段。");
  EXPECT_EQ(messages[0].caption, L"提示");
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "older");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"cut off.mp3", "ring.mp3"}));
}

// A save that ends at the dialog or at the section check cuts nothing and leaves the song playing,
// its clock and thumb going on; one that got past the dialog places the launcher.
TEST_F(RingEditorTest, ASaveThatStopsBeforeTheCutLeavesTheSongPlaying) {
  OpenSong(Song("playing.wav", 20));
  AnswerMessages(IDOK);
  int launchers = 0;
  form->SetShortcutPlacer([&] { ++launchers; });
  struct Case {
    const char* what;
    int32_t startMs, endMs;  // forced past the window's own rules
    fs::path answer;         // empty: the dialog is cancelled
    const wchar_t* message;  // nullptr: none
    int launchers;
  };
  const wchar_t* const refused = L"截取段错误，请在播放的过程中重新标记结束点。";
  const Case cases[] = {
      {"cancelled", 0, 20000, {}, nullptr, 0},
      {"start after end", 5000, 3000, dir / "a.wav", refused, 1},
      {"start at end", 3000, 3000, dir / "b.wav", refused, 1},
  };
  for (const Case& c : cases) {
    form->ringContextForTesting().startMs = c.startMs;
    form->ringContextForTesting().endMs = c.endMs;
    messages.clear();
    AnswerDialogs({c.answer});
    Click(L"SaveRing");
    ASSERT_EQ(messages.size(), c.message ? 1u : 0u) << c.what;
    if (c.message) {
      EXPECT_EQ(messages[0].text, c.message) << c.what;
    }
    EXPECT_EQ(launchers, c.launchers) << c.what;
    EXPECT_EQ(dir.Files(), std::vector<std::string>{"playing.wav"}) << c.what;
    EXPECT_TRUE(form->positionTimerRunning()) << c.what;
    auto* clock = Get<tavio_ui::DigitalClock>(L"PlayTime");
    const int shown = clock->GetSeconds();
    ASSERT_TRUE(RunUntil([&] { return clock->GetSeconds() > shown; }))
        << c.what << ": the clock stood still";
    EXPECT_GT(Get<tavio_ui::SectionTrackBar>(L"SonaclipTrackBar")->GetValue(), 0) << c.what;
  }

  // An end that was never set is the song's end, already for the save that finds it.
  form->ringContextForTesting().startMs = 0;
  form->ringContextForTesting().endMs = 20000;
  Get<SimpleCombobox>(L"RingSaveFormatCombox")->SetSelected(1);  // refreshes: a valid section
  form->ringContextForTesting().startMs = 18000;
  form->ringContextForTesting().endMs = -1;
  AnswerDialogs({dir / "end.wav"});
  OkWhenProgressSays("铃声保存成功！", dir / "end.wav");
  Click(L"SaveRing");
  EXPECT_EQ(ring().endMs, 20000);
  EXPECT_EQ(ringtest::ReadWav(dir / "end.wav").pcm.frames(), 2 * 8000);
  EXPECT_FALSE(form->positionTimerRunning()) << "the cut paused the song";
}

TEST_F(RingEditorTest, CountersAreWrittenWhenTheWindowGoes) {
  const fs::path song = Song("count.wav", 3);
  AnswerDialogs({song, song, fs::path()});
  Click(L"AddSong");
  Click(L"AddSong");
  ASSERT_TRUE(RunUntil([&] { return Enabled(L"SaveRing"); }));
  Click(L"SaveRing");  // the dialog is cancelled
  form.reset();
  EXPECT_EQ(ringtest::ReadAll(dir / "sonaclip.dat"), std::string("\xE9\x03\x02\x00\xEB\x03\x01\x00", 8));
}

}  // namespace

int main(int argc, char** argv) { return RunWindowTests(argc, argv); }
