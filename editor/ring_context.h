// RingContext: the ring editor's record of the song being edited: its path and names, the section
// marked in it, the output options, the play position and state the player reported, and the
// texts derived from them. It also holds the one player wrapper of the program. The main window
// owns exactly one, for its whole life, and is the only one to touch it; the wrapper shares its
// job fields with the save's worker thread as it says itself. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "base/win_types.h"
#include "engine/tvplayer_interfaces.h"
#include "engine/tvplayer_wrapper.h"

struct RingContext {
  RingContext() = default;
  RingContext(const RingContext&) = delete;
  RingContext& operator=(const RingContext&) = delete;

  // A startMs of this value means the section was cleared.
  static constexpr int32_t kUnsetMs = -1;

  HWND ownerWindow = 0;
  std::wstring songPath;
  std::wstring outputDir;
  std::wstring ringTimeText;
  int32_t ringSizeKB = 0;
  std::wstring songInfoText;
  std::wstring songFileName;
  std::wstring songBaseName;
  bool headFadeOn = false;
  bool tailFadeOn = false;
  int32_t headFadeMs = 2000;
  int32_t tailFadeMs = 2000;
  int32_t outputFormat = TVPlayerWrapper::kFormatMp3;
  int32_t channelCount = 2;
  int32_t volumeIndex = 0;
  int32_t startMs = 0;
  int32_t endMs = 0;
  int32_t durationMs = 0;
  int32_t durationMinutes = 0;
  int32_t lastMinuteMs = 0;
  int32_t bitrateKbps = 0;
  // 100-ns units, all 64 bits: songs longer than 429.5 s keep their positions.
  int64_t position = 0;
  // Declared after the strings it never reads, so it is destroyed first: releasing the player
  // joins its thread before anything else of the record goes.
  TVPlayerWrapper wrapper;
  MediaInfo mediaInfo{};
  int32_t playerState = 0;
  bool shortcutMade = false;
  bool sectionValid = false;
};
