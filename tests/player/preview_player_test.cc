// The preview player of tvplayer.so: the states and positions it reports while it opens, plays,
// pauses, seeks and reaches the end, with the private null sink of the test run or with no sound
// server at all, and its lifetime against its own thread.

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include "tests/player/player_test_support.h"

namespace player_test {
namespace {

using namespace std::chrono_literals;

struct Event {
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

// Collects what the player reports, from the player's thread.
class Recorder {
 public:
  static void Callback(void* context, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    auto* self = static_cast<Recorder*>(context);
    std::function<void(const Event&)> hook;
    {
      std::lock_guard<std::mutex> lock(self->mutex);
      self->events.push_back({message, wParam, lParam});
      hook = self->hook;
    }
    self->changed.notify_all();
    if (hook) hook({message, wParam, lParam});
  }

  void SetHook(std::function<void(const Event&)> hook) {
    std::lock_guard<std::mutex> lock(mutex);
    this->hook = std::move(hook);
  }

  // Waits until some event from index `from` on satisfies `match`; its index, or nothing.
  std::optional<std::size_t> WaitFor(const std::function<bool(const Event&)>& match,
                                     std::size_t from = 0, std::chrono::milliseconds timeout = 15s) {
    std::unique_lock<std::mutex> lock(mutex);
    std::optional<std::size_t> found;
    changed.wait_for(lock, timeout, [&] {
      for (std::size_t i = from; i < events.size(); ++i) {
        if (match(events[i])) {
          found = i;
          return true;
        }
      }
      return false;
    });
    return found;
  }

  std::optional<std::size_t> WaitForState(int state, std::size_t from = 0,
                                          std::chrono::milliseconds timeout = 15s) {
    return WaitFor([state](const Event& e) {
      return e.message == kTVMsgPlayerState && static_cast<int>(e.wParam) == state;
    }, from, timeout);
  }

  // Waits for a position report at or past `position` (100-ns units).
  std::optional<std::size_t> WaitForPosition(std::int64_t position, std::size_t from = 0) {
    return WaitFor([position](const Event& e) {
      return e.message == kTVMsgPosition && static_cast<std::int64_t>(e.wParam) >= position;
    }, from);
  }

  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(mutex);
    return events;
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return events.size();
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Event> events;
  std::function<void(const Event&)> hook;
};

PlayerPtr NewPlayer(Recorder& recorder) {
  IPreviewPlayer* player = nullptr;
  if (CreatePreviewPlayerFunction()(&Recorder::Callback, &recorder, &player) != tavio::S_OK) {
    return nullptr;
  }
  return PlayerPtr(player);
}

std::vector<std::int64_t> PositionsBetween(const std::vector<Event>& events, std::size_t from,
                                           std::size_t to) {
  std::vector<std::int64_t> positions;
  for (std::size_t i = from; i < to && i < events.size(); ++i) {
    if (events[i].message == kTVMsgPosition) {
      positions.push_back(static_cast<std::int64_t>(events[i].wParam));
    }
  }
  return positions;
}

std::filesystem::path MakeStereoWav(const ScratchDir& dir, double seconds) {
  const auto path = dir / "song.wav";
  std::vector<std::int32_t> samples(static_cast<std::size_t>(seconds * 44100) * 2, 1000);
  WriteWav(path, 16, 2, 44100, samples);
  return path;
}

TEST(PreviewPlayerTest, OpensPlaysPausesSeeksAndStopsAtTheEnd) {
  ScratchDir dir;
  const auto song = MakeStereoWav(dir, 3.0);
  Recorder recorder;
  auto player = NewPlayer(recorder);
  ASSERT_TRUE(player);

  // Open answers at once; Play is queued behind it, as the song-loading flow calls them.
  ASSERT_EQ(player->Open(Wide(song).c_str(), 0), tavio::S_OK);
  ASSERT_EQ(player->Play(), tavio::S_OK);
  const auto opened = recorder.WaitForState(kTVPlayerOpened);
  ASSERT_TRUE(opened);
  const auto playing = recorder.WaitForState(kTVPlayerPlaying, *opened);
  ASSERT_TRUE(playing);

  // The record agrees with the PCM source's: the encoders read one and the bytes of the other.
  MediaInfo played{};
  MediaInfo cut{};
  ASSERT_EQ(player->GetMediaInfo(&played), tavio::S_OK);
  auto source = NewSource();
  ASSERT_TRUE(source->Open(Wide(song).c_str()));
  source->GetMediaInfo(&cut);
  EXPECT_EQ(0, std::memcmp(&played, &cut, sizeof(MediaInfo)));
  EXPECT_EQ(played.duration, 30000000);

  // Positions arrive about every 100 ms and grow.
  const auto advanced = recorder.WaitForPosition(5000000, *playing);
  ASSERT_TRUE(advanced);
  const std::vector<std::int64_t> positions =
      PositionsBetween(recorder.Events(), *playing, *advanced + 1);
  EXPECT_GE(positions.size(), 3u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));

  // A seek while playing goes on playing from exactly there, with nothing from before it.
  const std::size_t beforeJump = recorder.Count();
  ASSERT_EQ(player->Seek(15000000), tavio::S_OK);
  const auto jumped = recorder.WaitFor([](const Event& e) {
    return e.message == kTVMsgPosition && e.wParam == 15000000;
  }, beforeJump);
  ASSERT_TRUE(jumped);
  const auto goingOn = recorder.WaitForPosition(16000000, *jumped);
  ASSERT_TRUE(goingOn);
  for (std::int64_t p : PositionsBetween(recorder.Events(), *jumped, *goingOn + 1)) {
    EXPECT_GE(p, 15000000);
  }
  EXPECT_EQ(player->GetState(), kTVPlayerPlaying);

  ASSERT_EQ(player->Pause(), tavio::S_OK);
  const auto paused = recorder.WaitForState(kTVPlayerPaused, *goingOn);
  ASSERT_TRUE(paused);
  std::int64_t pausedAt = 0;
  player->GetPosition(&pausedAt);
  EXPECT_GE(pausedAt, 16000000);
  EXPECT_LT(pausedAt, 30000000);
  std::this_thread::sleep_for(300ms);  // a paused player must stay put; only time can show it
  for (std::int64_t p : PositionsBetween(recorder.Events(), *paused, recorder.Count())) {
    EXPECT_EQ(p, pausedAt);
  }
  EXPECT_EQ(player->GetState(), kTVPlayerPaused);

  // A seek while paused reports the exact new position and stays paused.
  const std::size_t beforeSeek = recorder.Count();
  ASSERT_EQ(player->Seek(25000000), tavio::S_OK);
  ASSERT_TRUE(recorder.WaitFor([](const Event& e) {
    return e.message == kTVMsgPosition && e.wParam == 25000000;
  }, beforeSeek));
  EXPECT_EQ(player->GetState(), kTVPlayerPaused);

  // Playing on from there reaches the end: stopped, back at the start.
  const std::size_t beforePlay = recorder.Count();
  ASSERT_EQ(player->Play(), tavio::S_OK);
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerPlaying, beforePlay));
  const auto stopped = recorder.WaitForState(kTVPlayerStopped, beforePlay);
  ASSERT_TRUE(stopped);
  for (std::int64_t p : PositionsBetween(recorder.Events(), beforePlay, *stopped)) {
    EXPECT_GE(p, 25000000);
    EXPECT_LE(p, 30000000);
  }
  std::int64_t position = -1;
  player->GetPosition(&position);
  EXPECT_EQ(position, 0);

  ASSERT_EQ(player->Close(), tavio::S_OK);
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerClosed, *stopped));
  EXPECT_LT(player->GetMediaInfo(&played), 0);
}

TEST(PreviewPlayerTest, AnswersAPauseAtOnceEvenWhileTheSoundServerHoldsBack) {
  // A fresh stream on the null sink is not played for up to two seconds; a player that waited
  // for the server to take its sound would leave the pause queued all that time.
  ScratchDir dir;
  const auto song = MakeStereoWav(dir, 3.0);
  Recorder recorder;
  auto player = NewPlayer(recorder);
  player->Open(Wide(song).c_str(), 0);
  player->Play();
  const auto playing = recorder.WaitForState(kTVPlayerPlaying);
  ASSERT_TRUE(playing);
  std::this_thread::sleep_for(100ms);  // let it start feeding the server
  const auto asked = std::chrono::steady_clock::now();
  player->Pause();
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerPaused, *playing));
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 800ms);
  // Positions went on being reported while it played.
  EXPECT_FALSE(PositionsBetween(recorder.Events(), *playing, recorder.Count()).empty());
}

TEST(PreviewPlayerTest, ReportsAFailedOpenAndPlaysNothing) {
  ScratchDir dir;
  WriteBytes(dir / "notes.mp3", {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
  Recorder recorder;
  auto player = NewPlayer(recorder);
  EXPECT_LT(player->Play(), 0) << "nothing opened yet";
  EXPECT_LT(player->Seek(0), 0);

  player->Open(Wide(dir / "notes.mp3").c_str(), 0);
  player->Play();
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerOpenFailed));
  // Play was queued behind the failed open; give it time to show it does nothing.
  EXPECT_FALSE(recorder.WaitForState(kTVPlayerPlaying, 0, 300ms));
  MediaInfo info{};
  EXPECT_LT(player->GetMediaInfo(&info), 0);

  // The same player opens a good song afterwards.
  const auto song = MakeStereoWav(dir, 0.5);
  player->Open(Wide(song).c_str(), 0);
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerOpened));
}

TEST(PreviewPlayerTest, PositionsOfALongSongPassThirtyTwoBits) {
  ScratchDir dir;
  const auto song = dir / "long.mp3";
  // Ten minutes, made cheaply: 8 kHz mono at 8 kbps.
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=300:sample_rate=8000:d=600 -c:a libmp3lame "
                     "-b:a 8k " + Quoted(song)));
  Recorder recorder;
  auto player = NewPlayer(recorder);
  player->Open(Wide(song).c_str(), 0);
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerOpened));
  MediaInfo info{};
  player->GetMediaInfo(&info);
  EXPECT_NEAR(static_cast<double>(info.duration) / kUnitsPerSecond, 600.0, 0.5);

  const std::int64_t target = 5975000000;  // 597.5 s
  const std::size_t before = recorder.Count();
  player->Seek(target);
  player->Play();
  const auto past = recorder.WaitForPosition(target, before);
  ASSERT_TRUE(past);
  const auto reported = static_cast<std::int64_t>(recorder.Events()[*past].wParam);
  EXPECT_GT(reported, std::int64_t{0xFFFFFFFF});
  EXPECT_LT(reported, 6000000000);
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerStopped, before));
}

TEST(PreviewPlayerTest, PlaysAgainstTheClockWithoutASoundServer) {
  const char* previous = std::getenv("PULSE_SERVER");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("PULSE_SERVER", "unix:/nonexistent/sonaclip/native", 1);
  ScratchDir dir;
  const auto song = MakeStereoWav(dir, 1.0);
  Recorder recorder;
  {
    auto player = NewPlayer(recorder);
    player->Open(Wide(song).c_str(), 0);
    player->Play();
    const auto playing = recorder.WaitForState(kTVPlayerPlaying);
    ASSERT_TRUE(playing);
    const auto started = std::chrono::steady_clock::now();
    const auto stopped = recorder.WaitForState(kTVPlayerStopped, *playing);
    ASSERT_TRUE(stopped);
    // A one-second song takes about a second even in silence, with positions on the way.
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GT(took, 800ms);
    EXPECT_LT(took, 3s);
    const auto positions = PositionsBetween(recorder.Events(), *playing, *stopped);
    EXPECT_GE(positions.size(), 5u);
    EXPECT_GT(positions.back(), 7000000);
  }
  if (previous != nullptr) {
    setenv("PULSE_SERVER", saved.c_str(), 1);
  } else {
    unsetenv("PULSE_SERVER");
  }
}

TEST(PreviewPlayerTest, ReleaseEndsTheThreadAndItsCallbacks) {
  ScratchDir dir;
  const auto song = MakeStereoWav(dir, 3.0);
  {
    Recorder recorder;
    auto player = NewPlayer(recorder);
    player->Open(Wide(song).c_str(), 0);
    player->Play();
    ASSERT_TRUE(recorder.WaitForPosition(1000000));
    player.reset();  // last Release while playing
    const std::size_t afterRelease = recorder.Count();
    std::this_thread::sleep_for(300ms);  // a late callback would land in this window
    EXPECT_EQ(recorder.Count(), afterRelease);
  }
  {
    // The last reference dropped from inside the player's own callback.
    Recorder recorder;
    IPreviewPlayer* raw = nullptr;
    ASSERT_EQ(CreatePreviewPlayerFunction()(&Recorder::Callback, &recorder, &raw), tavio::S_OK);
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool released = false;
    recorder.SetHook([&](const Event& e) {
      if (e.message == kTVMsgPlayerState && e.wParam == kTVPlayerOpened) {
        raw->Release();
        std::lock_guard<std::mutex> lock(doneMutex);
        released = true;
        doneChanged.notify_all();
      }
    });
    raw->Open(Wide(song).c_str(), 0);
    raw->Play();  // queued behind the open; the player is gone before it runs
    std::unique_lock<std::mutex> lock(doneMutex);
    ASSERT_TRUE(doneChanged.wait_for(lock, 15s, [&] { return released; }));
    lock.unlock();
    std::this_thread::sleep_for(200ms);  // let the detached thread finish before `recorder` goes
    EXPECT_FALSE(recorder.WaitForState(kTVPlayerPlaying, 0, 0ms));
  }
}

TEST(PreviewPlayerTest, KeepsUpWithAStormOfCommands) {
  // The editor may fire commands faster than the player can carry them out; every one is taken in
  // order, the player stays consistent, and releasing it mid-storm returns promptly.
  ScratchDir dir;
  const auto song = MakeStereoWav(dir, 2.0);
  WriteBytes(dir / "bad.wav", {'R', 'I', 'F', 'F'});
  Recorder recorder;
  auto player = NewPlayer(recorder);
  std::mt19937 random(99);
  for (int i = 0; i < 400; ++i) {
    switch (random() % 6) {
      case 0:
        player->Open(Wide(random() % 4 == 0 ? dir / "bad.wav" : song).c_str(), 0);
        break;
      case 1:
        player->Play();
        break;
      case 2:
        player->Pause();
        break;
      case 3:
        player->Seek(static_cast<std::int64_t>(random() % 25000000));
        break;
      case 4:
        player->Stop();
        break;
      default:
        player->Close();
        break;
    }
    if (i % 50 == 0) std::this_thread::sleep_for(10ms);
  }
  // A final open and play is answered like any other, after everything before it.
  const std::size_t before = recorder.Count();
  player->Open(Wide(song).c_str(), 0);
  player->Play();
  const auto opened = recorder.WaitForState(kTVPlayerOpened, before);
  ASSERT_TRUE(opened);
  ASSERT_TRUE(recorder.WaitForState(kTVPlayerPlaying, *opened));
  for (int i = 0; i < 50; ++i) player->Seek(static_cast<std::int64_t>(random() % 20000000));
  const auto start = std::chrono::steady_clock::now();
  player.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(PreviewPlayerTest, AnswersOnlyItsOwnInterfaces) {
  Recorder recorder;
  auto player = NewPlayer(recorder);
  void* out = nullptr;
  ASSERT_EQ(player->QueryInterface(tavio::IID_IPreviewPlayer, &out), tavio::S_OK);
  EXPECT_EQ(out, static_cast<void*>(player.get()));
  static_cast<IPreviewPlayer*>(out)->Release();
  EXPECT_EQ(player->QueryInterface(tavio::IID_IPcmSource, &out), tavio::E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  IPreviewPlayer* none = nullptr;
  EXPECT_EQ(CreatePreviewPlayerFunction()(&Recorder::Callback, &recorder, nullptr),
            tavio::E_POINTER);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(CreatePcmSourceFunction()(nullptr), tavio::E_POINTER);
}

}  // namespace
}  // namespace player_test
