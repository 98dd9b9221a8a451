// Saving the ring: the save dialog in the "Ring" folder, the refusal to overwrite the song being
// edited, the section check, and the cut through the player wrapper with the progress window.
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/strings.h"
#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "engine/cut_plan.h"
#include "engine/loudness.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"

namespace {

// Whether the ring at target would overwrite the song: the same file, however it is named (the
// exact text, a symbolic or hard link, "dir/../song.mp3"). Two different files never match, even
// when their names differ only in letter case.
bool IsSameFile(const std::wstring& target, const std::wstring& song) {
  if (target == song) return true;
  std::error_code error;
  const bool same = std::filesystem::equivalent(std::filesystem::path(base::WideToUTF8(target)),
                                                std::filesystem::path(base::WideToUTF8(song)), error);
  return !error && same;
}

// A dialog filter in the Win32 form: description, NUL, pattern, NUL, NUL.
std::wstring DialogFilter(const std::wstring& description, const std::wstring& pattern) {
  return description + L'\0' + pattern + L'\0' + L'\0';
}

}  // namespace

void MainForm::OnSaveRingClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kSaveRing);
  // A save that stopped at the dialog or at the section check left the song playing: its clock
  // and thumb go on. A cut paused the preview at 0.
  if (SaveSection()) {
    positionTimer.Stop();
    trackBar.SetValue(0);
  }
}

std::wstring MainForm::RingSaveFilter(int32_t outputFormat) {
  using namespace std::string_view_literals;
  // The literals carry their own NULs, so only the compiler can count them.
  return std::wstring(outputFormat == TVPlayerWrapper::kFormatWav
                          ? L"波形文件(*.wav)\0*.wav\0\0"sv
                          : L"MP3音乐文件(*.mp3)\0*.mp3\0\0"sv);
}

std::wstring MainForm::ChooseRingPath() {
  const bool wav = ring.outputFormat == TVPlayerWrapper::kFormatWav;
  const std::wstring filter = RingSaveFilter(ring.outputFormat);
  const std::filesystem::path folder(base::WideToUTF8(ring.outputDir));
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) std::filesystem::create_directories(folder, error);

  // The coded formats beside MP3 name their files themselves.
  std::wstring ringFilter = filter;
  const wchar_t* extension = wav ? L"wav" : L"mp3";
  if (ring.outputFormat == TVPlayerWrapper::kFormatM4r) {
    ringFilter = DialogFilter(L"iPhone铃声文件(*.m4r)", L"*.m4r");
    extension = L"m4r";
  } else if (ring.outputFormat == TVPlayerWrapper::kFormatOgg) {
    ringFilter = DialogFilter(L"OGG音乐文件(*.ogg)", L"*.ogg");
    extension = L"ogg";
  }

  tavio_ui::SaveFileDialog dialog;
  dialog.SetParameters(ringFilter.c_str(), 1, ring.outputDir + L"/" + ring.songBaseName, L"",
                       extension);
  return dialog.DoModal(GetHWND());
}

bool MainForm::SaveSection() {
  // An iPhone refuses a ring over 40 s; the summary says so in red, and there is nothing to save.
  if (IphoneRingTooLong()) return false;
  std::wstring path = ChooseRingPath();
  if (path.empty()) return false;
  while (IsSameFile(path, ring.songPath)) {
    const int answer = tavio_ui::MessageBoxW(
        0, L"铃声源文件正在编辑使用中，无法替换！\r\n如需保存铃声，请重新选择保存路径和文件名。",
        L"提示", MB_YESNO | MB_ICONINFORMATION);
    if (answer != IDYES) return false;
    path = ChooseRingPath();
    if (path.empty()) return false;
  }
  const bool cut = StartSave(path);
  if (!ring.shortcutMade) {
    ring.shortcutMade = true;
    if (shortcutPlacer) shortcutPlacer();
  }
  return cut;
}

bool MainForm::StartSave(const std::wstring& path) {
  // An end that was never set is the song's end, for this save already.
  if (ring.endMs < 0) ring.endMs = static_cast<int32_t>(ring.mediaInfo.duration / kUnitsPerMillisecond);
  int32_t start = 0;
  int32_t end = 0;
  if (!CheckSection(start, end)) return false;

  if (IPreviewPlayer* player = ring.wrapper.player()) player->Pause();
  const int32_t fadeIn = cutplan::FadeMs(ring.headFadeOn, ring.headFadeMs);
  const int32_t fadeOut = cutplan::FadeMs(ring.tailFadeOn, ring.tailFadeMs);
  const bool normalise = ring.volumeIndex == cutplan::kLoudnessVolumeIndex;
  const int32_t volume = normalise ? cutplan::kUnityGain : cutplan::VolumeFromIndex(ring.volumeIndex);
  const bool prepared = ring.wrapper.PrepareCut(ring.songPath, ring.outputFormat, ring.bitrateKbps);
  if (normalise) ring.wrapper.NormaliseLoudness(loudness::Target{});
  // A job that could not start (no codec, a folder that takes no file, a song that no longer
  // opens) wrote nothing and showed no window: the user is told here, or the click would seem to
  // do nothing at all.
  if (prepared && ring.wrapper.sourceMediaInfo().sampleRate <= 0) {
    tavio_ui::MessageBoxW(0, L"歌曲无法打开，请重新添加歌曲。", L"提示", MB_ICONINFORMATION);
  } else if (!prepared || !ring.wrapper.StartCutRing(path, start, end, fadeIn, fadeOut, volume,
                                                      ring.channelCount)) {
    tavio_ui::MessageBoxW(0, L"铃声保存失败，请检查保存位置后重试。", L"提示", MB_ICONINFORMATION);
  } else if (const std::optional<int64_t> songEnd = ring.wrapper.songEndBeforeSection()) {
    // The progress window said the save failed; this says why, and what to do.
    const std::wstring text =
        L"歌曲在" + ring::TimeText(*songEnd / kUnitsPerSecond) + L"处提前结束，请重新选择截取段。";
    tavio_ui::MessageBoxW(0, text.c_str(), L"提示", MB_ICONINFORMATION);
  }
  return true;
}
