// Step 3's options and step 2's summary: the four comboboxes, the fade controls, and the ring's
// length and estimated size with the 2 MB warning, or the iPhone's 40 s limit for an M4R ring.
#include <cwchar>

#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "engine/mp3_encoder.h"
#include "engine/stream_encoders.h"

namespace {

// The size warning's own colour (as the form builds the label), and the red of a limit that
// stops the save.
constexpr unsigned int kSizeWarningColor = 0xff4c618f;
constexpr unsigned int kLimitColor = 0xffff0000;

}  // namespace

void MainForm::OnOptionChosen(tavio_ui::Combobox* sender, int index) {
  if (!sender) return;
  if (sender == &formatCombobox) {
    const std::wstring format = formatCombobox.GetText();
    if (format == L"WAV") {
      qualityCombobox.SetVisible(false);
      qualityLabel.SetVisible(false);
      ring.outputFormat = TVPlayerWrapper::kFormatWav;
      UpdateWavBitrate();
    } else {
      // MP3, M4R and OGG all take their bit rate from the quality combobox.
      qualityCombobox.SetVisible(true);
      qualityLabel.SetVisible(true);
      UpdateMp3Bitrate();
      ring.outputFormat = format == L"M4R"   ? TVPlayerWrapper::kFormatM4r
                          : format == L"OGG" ? TVPlayerWrapper::kFormatOgg
                                             : TVPlayerWrapper::kFormatMp3;
    }
  } else if (sender == &channelCombobox) {
    ring.channelCount = index + 1;
    // A WAV ring's rate grows with its channels.
    if (ring.outputFormat == TVPlayerWrapper::kFormatWav) UpdateWavBitrate();
  } else if (sender == &qualityCombobox) {
    UpdateMp3Bitrate();
  } else if (sender == &volumeCombobox) {
    ring.volumeIndex = index;
  }
  RefreshSummary();
}

void MainForm::UpdateMp3Bitrate() {
  switch (qualityCombobox.GetSelected()) {
    case 1:
      ring.bitrateKbps = 64;
      break;
    case 2:
      ring.bitrateKbps = 128;
      break;
    case 3:
      ring.bitrateKbps = 192;
      break;
    default: {  // "默认", or nothing chosen: the song's own rate
      MediaInfo info{};
      if (IPreviewPlayer* player = ring.wrapper.player()) player->GetMediaInfo(&info);
      ring.bitrateKbps = info.bitrateKbps;
      break;
    }
  }
}

void MainForm::UpdateWavBitrate() {
  // What the WAV ring really holds: the output's channels at the width the source delivers.
  MediaInfo info{};
  if (IPreviewPlayer* player = ring.wrapper.player()) player->GetMediaInfo(&info);
  ring.bitrateKbps = ring::WavBitrateKbps(ring.channelCount, info.sampleRate, info.bitsPerSample);
}

int32_t MainForm::OutputBitrateKbps() const {
  const int32_t rate = ring.mediaInfo.sampleRate;
  switch (ring.outputFormat) {
    case TVPlayerWrapper::kFormatWav:
      return ring.bitrateKbps;
    case TVPlayerWrapper::kFormatM4r:
      return M4rEncoder::WrittenBitrate(ring.bitrateKbps, rate, ring.channelCount);
    case TVPlayerWrapper::kFormatOgg:
      return OggEncoder::WrittenBitrate(ring.bitrateKbps, rate, ring.channelCount);
    default:
      // The MP3 plug-in writes the nearest MP3 rate, raised where the frame could not carry its
      // tag.
      return Mp3Encoder::WrittenBitrate(ring.bitrateKbps, rate, ring.channelCount);
  }
}

int32_t MainForm::SizeKB(int32_t sectionMs, int32_t kbps) const {
  // An MPEG-4 file's index and Ogg's pages and headers are a few KB of their own.
  const int32_t rate = ring.mediaInfo.sampleRate;
  if (ring.outputFormat == TVPlayerWrapper::kFormatM4r) {
    return ring::SizeKB(sectionMs, kbps, M4rEncoder::ContainerBytes(sectionMs, rate));
  }
  if (ring.outputFormat == TVPlayerWrapper::kFormatOgg) {
    return ring::SizeKB(sectionMs, kbps, OggEncoder::ContainerBytes(sectionMs, rate, kbps));
  }
  return ring::SizeKB(sectionMs, kbps);
}

bool MainForm::IphoneRingTooLong() const {
  if (ring.outputFormat != TVPlayerWrapper::kFormatM4r) return false;
  // The section a save would cut: an unset end is the song's end.
  const int64_t end =
      ring.endMs >= 0 ? ring.endMs : ring.mediaInfo.duration / kUnitsPerMillisecond;
  const int64_t start = ring.startMs > 0 ? ring.startMs : 0;
  return end - start > kIphoneRingMaxMs;
}

void MainForm::RefreshSummary() {
  if (ring.songPath.empty()) return;
  if (ring.endMs < ring.startMs) {
    if (ring.endMs > 0) {
      ring.startMs = RingContext::kUnsetMs;
      ring.ringTimeText = L"未截取";
      ring.ringSizeKB = 0;
      ring.sectionValid = false;
    }
  } else if (ring.startMs != RingContext::kUnsetMs) {
    const int32_t sectionMs = ring.endMs - ring.startMs;
    ring.ringTimeText = ring::TimeText(sectionMs / 1000);
    ring.ringSizeKB = SizeKB(sectionMs, OutputBitrateKbps());
    ring.sectionValid = ring.endMs > ring.startMs;
  }
  listenRingButton.SetEnabled(ring.sectionValid);
  saveRingButton.SetEnabled(ring.sectionValid);
  songInfoLabel.SetText(ring.songInfoText);
  ringTimeLabel.SetText(L"时长: " + ring.ringTimeText + L"，大小 ");
  wchar_t size[64];
  if (ring.ringSizeKB <= ring::kSizeWarningKB) {
    std::swprintf(size, std::size(size), L"%dKB", ring.ringSizeKB);
    sizeWarningLabel.SetVisible(false);
  } else {
    std::swprintf(size, std::size(size), L"<c #FF0000>%dKB</c>", ring.ringSizeKB);
    sizeWarningLabel.SetTextColor(kSizeWarningColor);
    sizeWarningLabel.SetText(L"(铃声大小不得超过2.0M)");
    sizeWarningLabel.SetVisible(true);
  }
  ringSizeLabel.SetText(size);
  // The iPhone's limit stops the save, so it stands before the size warning, which only warns.
  if (ring.sectionValid && IphoneRingTooLong()) {
    sizeWarningLabel.SetTextColor(kLimitColor);
    sizeWarningLabel.SetText(L"iPhone铃声不能超过40秒");
    sizeWarningLabel.SetVisible(true);
  }
}

void MainForm::OnFadeCheckClicked(tavio_ui::Control* sender) {
  const bool on = static_cast<tavio_ui::CheckBox*>(sender)->GetState() != tavio_ui::CheckBox::kUnchecked;
  if (sender == &headFadeCheck) ring.headFadeOn = on;
  if (sender == &tailFadeCheck) ring.tailFadeOn = on;
}

void MainForm::OnFadeEditChanged(tavio_ui::Control* sender) {
  const int32_t ms = ring::LeadingInteger(static_cast<tavio_ui::RichEdit*>(sender)->GetText());
  if (sender == &headFadeEdit) ring.headFadeMs = ms;
  if (sender == &tailFadeEdit) ring.tailFadeMs = ms;
}
