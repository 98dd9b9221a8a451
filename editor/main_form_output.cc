// Step 3's options and step 2's summary: the four comboboxes, the fade controls, and the ring's
// length and estimated size with the 2 MB warning.
#include <cwchar>

#include "editor/main_form.h"
#include "editor/ring_figures.h"
#include "engine/mp3_encoder.h"

void MainForm::OnOptionChosen(tavio_ui::Combobox* sender, int index) {
  if (!sender) return;
  if (sender == &formatCombobox) {
    if (formatCombobox.GetText() == L"WAV") {
      qualityCombobox.SetVisible(false);
      qualityLabel.SetVisible(false);
      ring.outputFormat = TVPlayerWrapper::kFormatWav;
      UpdateWavBitrate();
    } else {
      qualityCombobox.SetVisible(true);
      qualityLabel.SetVisible(true);
      UpdateMp3Bitrate();
      ring.outputFormat = TVPlayerWrapper::kFormatMp3;
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
  if (ring.outputFormat == TVPlayerWrapper::kFormatWav) return ring.bitrateKbps;
  // The MP3 plug-in writes the nearest MP3 rate, raised where the frame could not carry its tag.
  return Mp3Encoder::WrittenBitrate(ring.bitrateKbps, ring.mediaInfo.sampleRate, ring.channelCount);
}

int32_t MainForm::SizeKB(int32_t sectionMs, int32_t kbps) const {
  return ring::SizeKB(sectionMs, kbps);
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
    sizeWarningLabel.SetText(L"(铃声大小不得超过2.0M)");
    sizeWarningLabel.SetVisible(true);
  }
  ringSizeLabel.SetText(size);
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
