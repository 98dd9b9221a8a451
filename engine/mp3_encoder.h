// Mp3Encoder writes the ring as MP3 through the codec plug-in codecs.so. Begin loads the plug-in
// from the executable's folder (dlopen by path; it is never unloaded), creates its encoder object
// and settings interface, configures them (channel mode 3 for a one-channel ring, otherwise 0;
// constant bit rate, info tag on, no CRC; bitrateKbps; effort 5) and announces the source's PCM;
// each Step hands the processed block, at the source's own channel count, to the plug-in, which
// writes the MP3 data back through this object's IEncoderCallback over the output file. End asks
// the plug-in to finish the stream (last frames, then the first frame rewritten with the final
// LAME/Xing tag) before it closes the file, so a decoder yields exactly the samples given.
//
// Owned by the wrapper through unique_ptr<Encoder>; the COM reference count of the callback part
// holds the owner's reference from construction, so the plug-in's Release of the callback (when
// its encoder object goes, in this object's destructor) never destroys it a second time.
// Threads as Encoder; the plug-in calls the callback on the thread that called into it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>

#include "base/com_ptr.h"
#include "engine/codec_interfaces.h"
#include "engine/encoder.h"

class Mp3Encoder final : public Encoder, public tavio::IEncoderCallback, public tavio::Unknown {
 public:
  // Loads codecs.so from the executable's folder.
  Mp3Encoder();
  // Loads codecs.so from componentFolder instead (tests, tools).
  explicit Mp3Encoder(std::filesystem::path componentFolder);
  ~Mp3Encoder() override;

  // IUnknown of the callback, forwarded to the count: answers IUnknown only.
  int32_t QueryInterface(const tavio::GUID& iid, void** out) override {
    return outer->NonDelegatingQueryInterface(iid, out);
  }
  uint32_t AddRef() override { return outer->NonDelegatingAddRef(); }
  uint32_t Release() override { return outer->NonDelegatingRelease(); }

  // IEncoderCallback, over the output file.
  int32_t Read(void* buffer, int32_t bytes) override;
  int32_t Write(const void* data, int32_t bytes) override;
  int32_t Seek(int64_t offset, int32_t origin, uint64_t* newPosition) override;

  // The plug-in's settings interface once Begin created it (null before); for tests that ask
  // what the plug-in made of the settings.
  tavio::ICodecSettings* settings() const { return codecSettings.Get(); }

  // The bit rate in kbps that a ring asked for at kbps is really written at, for PCM at
  // sampleRate Hz going out with `channels` channels: the plug-in takes the nearest MP3 rate and
  // raises one too low to carry the info tag. What a size estimate must count.
  static int32_t WrittenBitrate(int32_t kbps, int32_t sampleRate, int32_t channels);

 private:
  bool PrepareFormat(const MediaInfo& format) override;
  bool HandBlock(uint8_t* block, int32_t bytes) override;
  bool FinishFile() override;
  tavio::IUnknown* IdentityUnknown() override {
    return static_cast<tavio::IEncoderCallback*>(this);
  }

  bool LoadComponent();
  bool CreateComponentObjects();

  const std::filesystem::path componentFolder;  // empty: the executable's folder
  std::mutex loadLock;                          // serialises LoadComponent
  int32_t loadCount = 0;
  void* module = nullptr;                       // never closed
  DllGetClassObjectFn getClassObject = nullptr;
  base::ComPtr<tavio::ICodecEncoder> codecEncoder;
  base::ComPtr<tavio::ICodecSettings> codecSettings;
  // Fixed settings handed over by Begin: slot 10 (variable bit rate off), 11 (info tag on),
  // 12 (CRC off), 5 (effort).
  static constexpr uint8_t variableBitrateSetting = 0;
  static constexpr uint8_t infoTagSetting = 1;
  static constexpr uint8_t errorProtectionSetting = 0;
  static constexpr int32_t qualitySetting = 5;
};
