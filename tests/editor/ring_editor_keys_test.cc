// The real main window with the real player plug-in, as a person uses it from the keyboard and
// as the track bar shows the song: keys sent to the window (QTest) do what their buttons do, and
// the song's waveform reaches the track bar and goes with the song.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "base/strings.h"
#include "editor/main_form.h"
#include "tests/engine/ring_fixtures.h"
#include "ui/file_dialog.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 8000;

// A 16-bit stereo song of `seconds`, full-scale noise from `from` to `to` seconds, silence around.
fs::path LoudBetween(const fs::path& path, int seconds, int from, int to) {
  ringtest::Pcm pcm = ringtest::MakeSong(16, 2, kRate, int64_t{kRate} * seconds);
  for (int64_t f = 0; f < pcm.frames(); ++f) {
    if (f < int64_t{kRate} * from || f >= int64_t{kRate} * to) {
      pcm.samples[2 * f] = pcm.samples[2 * f + 1] = 0;
    }
  }
  ringtest::WriteWav(path, pcm);
  return path;
}

class RingEditorKeysTest : public ::testing::Test {
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
    bar = static_cast<tavio_ui::SectionTrackBar*>(form->FindControl(L"SonaclipTrackBar"));
    ASSERT_NE(bar, nullptr);
  }
  void TearDown() override {
    tavio_ui::SetFileDialogAnswererForTesting(nullptr);
    form.reset();
  }

  const RingContext& ring() const { return form->ringContext(); }

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

  void OpenSong(const fs::path& song) {
    form->LoadSong(base::UTF8ToWide(song.string()));
    ASSERT_TRUE(RunUntil([&] {
      return !form->songPendingForTesting() && ring().playerState == kTVPlayerPlaying;
    })) << song;
  }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(form->widget(), key, modifiers);
  }

  int Count(uint16_t id) const {
    for (uint32_t record : form->usageCounters().records()) {
      if ((record & 0xFFFF) == id) return static_cast<int>(record >> 16);
    }
    return 0;
  }

  // The loudest peak the track bar holds over a fraction of the song; -1 where nothing is known.
  int PeakOver(double from, double to) const {
    const tavio_ui::TrackWaveform& wave = bar->GetWaveform();
    int peak = -1;
    for (int s = static_cast<int>(from * wave.Stretches()); s < to * wave.Stretches(); ++s) {
      const tavio_ui::WavePeak& p = wave.peaks[static_cast<size_t>(s) * wave.channels];
      if (p.low <= p.high) peak = std::max({peak, -int{p.low}, int{p.high}});
    }
    return peak;
  }
  bool WaveformComplete() const {
    const tavio_ui::TrackWaveform& wave = bar->GetWaveform();
    if (wave.Stretches() != kWaveformBins || form->waveformTimerRunning()) return false;
    for (const tavio_ui::WavePeak& p : wave.peaks) {
      if (p.low > p.high) return false;
    }
    return true;
  }

  ringtest::TempDir dir{"sonaclip-keys"};
  std::unique_ptr<MainForm> form;
  tavio_ui::SectionTrackBar* bar = nullptr;
};

TEST_F(RingEditorKeysTest, TheSongsWaveformReachesTheTrackBarAndGoesWithTheSong) {
  OpenSong(LoudBetween(dir / "middle.wav", 9, 3, 6));
  ASSERT_TRUE(RunUntil([&] { return WaveformComplete(); })) << "the waveform never completed";
  EXPECT_LT(PeakOver(0.0, 0.32), 64);
  EXPECT_GT(PeakOver(0.35, 0.65), 30000);
  EXPECT_LT(PeakOver(0.68, 1.0), 64);

  // A second song: the first one's picture is gone at once, then the second's own shape comes.
  form->LoadSong(base::UTF8ToWide(LoudBetween(dir / "start.wav", 9, 0, 3).string()));
  EXPECT_EQ(bar->GetWaveform().Stretches(), 0);
  ASSERT_TRUE(RunUntil([&] { return WaveformComplete(); }));
  EXPECT_GT(PeakOver(0.02, 0.3), 30000);
  EXPECT_LT(PeakOver(0.35, 1.0), 64);

  // A file that does not open leaves no picture and no work behind.
  ringtest::WriteAll(dir / "notes.mp3", "these are not sounds");
  form->LoadSong(base::UTF8ToWide((dir / "notes.mp3").string()));
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerOpenFailed; }));
  EXPECT_EQ(bar->GetWaveform().Stretches(), 0);
  EXPECT_FALSE(form->waveformTimerRunning());
}

TEST_F(RingEditorKeysTest, BeforeAnySongOnlyTheAddSongKeyDoesAnything) {
  std::vector<tavio_ui::FileDialogRequest> asked;
  tavio_ui::SetFileDialogAnswererForTesting([&](const tavio_ui::FileDialogRequest& request) {
    asked.push_back(request);
    return std::vector<std::wstring>{};
  });
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_BracketLeft, Qt::Key_BracketRight, Qt::Key_L,
                      Qt::Key_Left, Qt::Key_Right}) {
    Key(key);
  }
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(asked.empty()) << "a greyed save button opened its dialog";
  EXPECT_TRUE(form->usageCounters().records().empty()) << "a greyed button's key was counted";
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(Count(UsageCounters::kAddSong), 1);
}

TEST_F(RingEditorKeysTest, KeysDoWhatTheirButtonsDo) {
  OpenSong(LoudBetween(dir / "keys.wav", 20, 0, 20));
  ASSERT_TRUE(RunUntil([&] { return ring().position >= 1500 * kUnitsPerMillisecond; }));

  Key(Qt::Key_BracketLeft);  // playing: the start is the play position
  const int32_t start = ring().startMs;
  EXPECT_GE(start, 1500);
  EXPECT_EQ(Count(UsageCounters::kCutStart), 1);
  ASSERT_TRUE(RunUntil([&] { return ring().position / kUnitsPerMillisecond >= start + 1000; }));
  Key(Qt::Key_BracketRight);
  EXPECT_GE(ring().endMs, start + 1000);
  EXPECT_EQ(Count(UsageCounters::kCutEnd), 1);

  Key(Qt::Key_Space);
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }));
  EXPECT_EQ(Count(UsageCounters::kPlayPause), 1);
  // A held key repeats the arrows only: one press is one click.
  QTest::keyPress(form->widget(), Qt::Key_Space);
  QKeyEvent held(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(form->widget(), &held);
  QTest::keyRelease(form->widget(), Qt::Key_Space);
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPlaying; }));
  EXPECT_EQ(Count(UsageCounters::kPlayPause), 2);
  Key(Qt::Key_Space);
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPaused; }));

  // The arrows move the play position as a thumb dropped there would: a second, a tenth with
  // Shift, never before the song.
  const int64_t from = ring().position;
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int64_t expected;
  };
  for (const Step& step : {Step{Qt::Key_Right, Qt::NoModifier, from + 1000 * kUnitsPerMillisecond},
                           Step{Qt::Key_Left, Qt::ShiftModifier, from + 900 * kUnitsPerMillisecond},
                           Step{Qt::Key_Right, Qt::ShiftModifier, from + 1000 * kUnitsPerMillisecond}}) {
    Key(step.key, step.modifiers);
    EXPECT_EQ(ring().position, step.expected);
    ASSERT_TRUE(RunUntil([&] { return ring().position == step.expected; }))
        << "the player did not go there";
  }
  EXPECT_EQ(bar->GetValue(), static_cast<int>(from / kUnitsPerMillisecond + 1000) * 1000 / 20000);
  for (int i = 0; i < 30; ++i) Key(Qt::Key_Left);
  ASSERT_TRUE(RunUntil([&] { return ring().position == 0; }));
  EXPECT_EQ(form->ringContext().playerState, kTVPlayerPaused) << "a paused song stays paused";

  Key(Qt::Key_L);
  EXPECT_TRUE(form->listenModeForTesting());
  EXPECT_EQ(Count(UsageCounters::kListenRing), 1);
  ASSERT_TRUE(RunUntil([&] { return ring().playerState == kTVPlayerPlaying; }));

  std::vector<tavio_ui::FileDialogRequest> asked;
  tavio_ui::SetFileDialogAnswererForTesting([&](const tavio_ui::FileDialogRequest& request) {
    asked.push_back(request);
    return std::vector<std::wstring>{};
  });
  Key(Qt::Key_S, Qt::ControlModifier);
  Key(Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(Count(UsageCounters::kSaveRing), 1);
  EXPECT_EQ(Count(UsageCounters::kAddSong), 1);
}

TEST_F(RingEditorKeysTest, KeysTypedIntoAFocusedEditStayThere) {
  OpenSong(LoudBetween(dir / "typing.wav", 20, 0, 20));
  auto* fade = static_cast<tavio_ui::RichEdit*>(form->FindControl(L"HeadFadeEdit"));
  auto* seconds = static_cast<tavio_ui::SpinEditFoloat*>(form->FindControl(L"EditEndSec"));
  ASSERT_TRUE(fade && seconds);

  fade->lineEdit()->setFocus();
  fade->lineEdit()->end(false);
  QTest::keyClicks(fade->lineEdit(), "5 L[");
  EXPECT_EQ(fade->GetText(), L"20005 L[");
  EXPECT_EQ(ring().headFadeMs, 20005);
  // Up and Down in a minute or second edit step it as its buttons do.
  seconds->lineEdit()->setFocus();
  const int32_t end = ring().endMs;
  QTest::keyClick(seconds->lineEdit(), Qt::Key_Down);
  EXPECT_EQ(ring().endMs, end - 100);
  QTest::keyClick(seconds->lineEdit(), Qt::Key_Space);
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(ring().playerState, kTVPlayerPlaying) << "a key typed into an edit paused the song";
  EXPECT_EQ(Count(UsageCounters::kCutStart) + Count(UsageCounters::kListenRing) +
                Count(UsageCounters::kPlayPause),
            0);
}

}  // namespace
