// The preview player's notifications as the main window receives them: posted messages on the UI
// loop of the thread that initialised the wrapper, with the window's handle, and positions past
// 429.5 s intact.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/strings.h"
#include "engine/tvplayer_wrapper.h"
#include "tests/engine/ring_fixtures.h"

namespace {

constexpr HWND kWindow = 0x5150;

class PlayerNotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::MessageLoop::SetMessageFilter([this](const base::NativeMessage& message) {
      received.push_back(message);
      if (until && until()) loop->Quit();
      return true;
    });
  }
  void TearDown() override { base::MessageLoop::SetMessageFilter(nullptr); }

  // Runs the UI loop until a message makes done() true; false after timeoutMs without it.
  bool RunUntil(std::function<bool()> done, int64_t timeoutMs = 20000) {
    if (done()) return true;
    until = done;
    bool timedOut = false;
    loop->PostDelayedTask(FROM_HERE, base::BindClosure([&] {
                            timedOut = true;
                            loop->Quit();
                          }),
                          timeoutMs * 1000);
    loop->Run();
    until = nullptr;
    return !timedOut || done();
  }

  bool Saw(UINT message, std::function<bool(WPARAM)> match) const {
    for (const auto& m : received) {
      if (m.message == message && match(m.wParam)) return true;
    }
    return false;
  }
  bool SawState(int32_t state) const {
    return Saw(kTVMsgPlayerState, [&](WPARAM w) { return w == static_cast<WPARAM>(state); });
  }

  std::unique_ptr<base::MessageLoop> loop =
      std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
  std::vector<base::NativeMessage> received;
  std::function<bool()> until;
};

TEST_F(PlayerNotifyTest, StatesAndFullPositionsArePostedToTheWindow) {
  ringtest::TempDir dir;
  // Ten minutes of the smallest PCM there is: a song longer than a 32-bit position can hold.
  ringtest::WriteWav(dir / "long.wav", ringtest::MakeSong(8, 1, 8000, 8000 * 600));
  ringtest::WriteAll(dir / "notes.txt", "not a song");

  TVPlayerWrapper wrapper;
  ASSERT_TRUE(wrapper.Initialize(kWindow));

  wrapper.OpenPreview(base::UTF8ToWide((dir / "notes.txt").string()));
  ASSERT_TRUE(RunUntil([&] { return SawState(kTVPlayerOpenFailed); }));

  wrapper.OpenPreview(base::UTF8ToWide((dir / "long.wav").string()));
  ASSERT_TRUE(RunUntil([&] { return SawState(kTVPlayerOpened); }));

  constexpr int64_t kPast32Bits = 500 * kUnitsPerSecond;
  wrapper.player()->Seek(kPast32Bits);
  wrapper.player()->Play();
  ASSERT_TRUE(RunUntil([&] {
    return SawState(kTVPlayerPlaying) &&
           Saw(kTVMsgPosition, [](WPARAM w) { return w > static_cast<WPARAM>(kPast32Bits); });
  }));
  wrapper.player()->Pause();
  ASSERT_TRUE(RunUntil([&] { return SawState(kTVPlayerPaused); }));

  for (const auto& m : received) {
    EXPECT_EQ(m.hwnd, kWindow);
    EXPECT_TRUE(m.message == kTVMsgPlayerState || m.message == kTVMsgPosition) << m.message;
    if (m.message == kTVMsgPosition) {
      EXPECT_LE(m.wParam, static_cast<WPARAM>(600 * kUnitsPerSecond)) << "within the song";
    }
  }
}

TEST_F(PlayerNotifyTest, WithoutAUiLoopNotificationsAreDropped) {
  // A wrapper initialised on a thread with no loop (as sonaclip-cut's is) must not crash when its
  // player reports; nothing reaches this test's loop.
  ringtest::TempDir dir;
  ringtest::WriteWav(dir / "song.wav", ringtest::MakeSong(16, 2, 8000, 8000));
  auto loopless = std::thread([&] {
    TVPlayerWrapper wrapper;
    ASSERT_TRUE(wrapper.Initialize(kWindow));
    wrapper.OpenPreview(base::UTF8ToWide((dir / "song.wav").string()));
    for (int i = 0; i < 2000 && wrapper.player()->GetState() != kTVPlayerOpened; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(wrapper.player()->GetState(), kTVPlayerOpened);
  });
  loopless.join();
  loop->RunUntilIdle();
  QCoreApplication::processEvents();
  EXPECT_TRUE(received.empty());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
