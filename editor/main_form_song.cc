// Adding a song: the add-song button with its open dialog, dropped files, loading, and what the
// window learns once the player has opened the song.
#include <string>

#include "base/program_folders.h"
#include "base/strings.h"
#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "ui/drag_drop.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"

namespace {

// The open dialog's filters, in the Win32 form: description and pattern pairs, each ended by a
// NUL, the list by one more.
std::wstring SongFilters() {
  static const wchar_t* const kRows[][2] = {
      {L"所有音频文件",
       L"*.TVM;*.MP1;*.MP2;*.MP3;*.WMA;*.WAV;*.OGG;*.MP4;*.M4A;*.AAC;*.AA;*.APE;*.M3U;*.FLAC;"
       L"*.FLA;*.CUE;*.CDA;*.TRC;*.MPC;*.MP+;*.AIF;*.AIFC;*.AIFF;*.SND;*.AU;*.AC3;*.A52;"},
      {L"所有文件", L"*.*"},
      {L"AAC音乐文件(*.aac;*.aa)", L"*.aac;*.aa"},
      {L"AC3音乐文件(*.ac3;*.a52)", L"*.ac3;*.a52"},
      {L"AIFF音乐文件(*.aif;*.aifc;*.aiff)", L"*.aif;*.aifc;*.aiff"},
      {L"APE无损音频文件(*.ape)", L"*.ape"},
      {L"AU音乐文件(*.au;*.snd)", L"*.au;*.snd"},
      {L"CUE音频索引文件(*.cue)", L"*.cue"},
      {L"CD音轨文件(*.cda)", L"*.cda"},
      {L"FLAC无损音频文件(*.flac;*.fla)", L"*.flac;*.fla"},
      {L"TVM音乐文件(*.tvm)", L"*.tvm"},
      {L"TRC动感歌词文件(*.trc)", L"*.trc"},
      {L"MP3音乐文件(*.mp3)", L"*.mp3"},
      {L"MP4音乐文件(*.m4a;*.mp4)", L"*.m4a;*.mp4"},
      {L"Musepack音乐文件(*.mpc;*.mp+)", L"*.mpc;*.mp+"},
      {L"OGG音乐文件(*.ogg)", L"*.ogg"},
      {L"Wave音乐文件(*.wav)", L"*.wav"},
      {L"Window Media音乐文件(*.wma)", L"*.wma"},
  };
  std::wstring filters;
  for (const auto& row : kRows) {
    filters += row[0];
    filters += L'\0';
    filters += row[1];
    filters += L'\0';
  }
  filters += L'\0';
  return filters;
}

}  // namespace

void MainForm::OnAddSongClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kAddSong);
  const std::wstring filters = SongFilters();
  tavio_ui::OpenFileDialog dialog;
  dialog.SetParameters(filters.c_str(), 1, L"", L"");
  const std::vector<std::wstring> chosen = dialog.DoModal(GetHWND());
  if (!chosen.empty() && !chosen.front().empty()) LoadSong(chosen.front());
}

void MainForm::OnFilesDropped(WPARAM wParam) {
  const auto drop = static_cast<tavio_ui::HDROP>(wParam);
  const UINT count = tavio_ui::DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
  if (count > 1) {
    tavio_ui::MessageBoxW(0, L"每次只能打开一个文件，请重新操作！", L"提示", MB_ICONINFORMATION);
  } else if (count == 1) {
    // The whole path, however long: nothing here is cut to a fixed buffer.
    const std::wstring path = tavio_ui::DragQueryFile(drop, 0);
    tavio_ui::DragFinish(drop);
    LoadSong(path);
    return;
  }
  tavio_ui::DragFinish(drop);
}

void MainForm::LoadSong(const std::wstring& path) {
  if (path.empty()) return;
  songChosenAt = std::chrono::steady_clock::now();
  ring.songPath = path;
  ring.songFileName = base::FileNameOf(path);
  ring.songBaseName = base::WithoutExtension(ring.songFileName);
  ring.startMs = 0;
  ring.endMs = 0;
  ring.position = 0;
  ring.outputDir = base::UTF8ToWide(base::RingFolder().string());
  // The old song's picture goes before the new song is asked for.
  ClearWaveform();
  EnsurePlayer();
  if (ring.wrapper.player()) {
    ring.wrapper.OpenPreview(ring.songPath);
    ring.wrapper.player()->Play();
  }

  songNameLabel.SetText(L"歌曲名: " + ring.songFileName);
  songPending = true;
  listenMode = false;
  songAdviceLabel.SetVisible(false);
  songInfoLabel.SetVisible(true);
  headFadeEdit.SetText(L"2000");
  tailFadeEdit.SetText(L"2000");
  formatCombobox.SetText(L"MP3");
  channelCombobox.SetText(L"双声道");
  qualityCombobox.SetText(L"默认");
  qualityCombobox.SetVisible(true);
  qualityLabel.SetVisible(true);
  volumeCombobox.SetText(L"原始");
  // The choices above report themselves only when they change; the record follows what they show
  // either way, since the save reads the record.
  ring.outputFormat = TVPlayerWrapper::kFormatMp3;
  ring.channelCount = 2;
  ring.volumeIndex = 0;
  ring.headFadeMs = 2000;
  ring.tailFadeMs = 2000;
}

void MainForm::OnSongOpened() {
  ring.position = 0;
  if (IPreviewPlayer* player = ring.wrapper.player()) player->GetMediaInfo(&ring.mediaInfo);
  const MediaInfo& info = ring.mediaInfo;
  const ring::SongLength length = ring::SplitSongLength(info.duration);
  ring.durationMinutes = length.durationMinutes;
  ring.lastMinuteMs = length.lastMinuteMs;
  ring.songInfoText =
      ring::SongInfoText(info.duration, info.channels, info.sampleRate, info.bitrateKbps);
  ring.durationMs = length.durationMs;
  ring.endMs = ring.durationMs;
  ring.startMs = 0;
  // The rate follows the format shown, also one chosen while the song was opening.
  if (ring.outputFormat == TVPlayerWrapper::kFormatWav) {
    UpdateWavBitrate();
  } else {
    UpdateMp3Bitrate();
  }
}

void MainForm::EnsurePlayer() {
  // Its notifications go to the window: not before the window exists.
  if (playerTried || !ring.ownerWindow) return;
  playerTried = true;
  ring.wrapper.Initialize(ring.ownerWindow);
}

void MainForm::OnTryOtherSongClicked(tavio_ui::Control*) {
  CountUsage(UsageCounters::kTryOtherSong);
  if (otherRingsOpener && !otherRingsOpener(GetHWND(), ring.songFileName)) {
    tavio_ui::MessageBoxW(0, L"无法显示铃声页面。", L"提示", MB_ICONINFORMATION);
  }
}
