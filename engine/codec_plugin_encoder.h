// CodecPluginEncoder is an encoder whose format is coded by codecs.so: Begin loads the plug-in
// from the executable's folder (dlopen by path; it is never unloaded), creates the encoder object
// of its class and the settings interface, lets the format configure them, and announces the
// source's PCM; each Step hands the processed block, at the source's own channel count, to the
// plug-in, which writes the stream back through this object's IEncoderCallback over the output
// file. End asks the plug-in to finish the stream before it closes the file. Mp3Encoder,
// M4rEncoder and OggEncoder differ only in their class and their settings.
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

class CodecPluginEncoder : public Encoder,
                           public tavio::IEncoderCallback,
                           public tavio::Unknown {
 public:
  ~CodecPluginEncoder() override;

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

 protected:
  // classId: the plug-in's class of this format. componentFolder: where codecs.so is; empty for
  // the executable's folder.
  CodecPluginEncoder(const tavio::GUID& classId, std::filesystem::path componentFolder);

  // Hands the format's settings to the plug-in's object, before the PCM is announced.
  virtual void Configure(tavio::ICodecSettings& settings) = 0;

 private:
  bool PrepareFormat(const MediaInfo& format) override;
  bool HandBlock(uint8_t* block, int32_t bytes) override;
  bool FinishFile() override;
  tavio::IUnknown* IdentityUnknown() override {
    return static_cast<tavio::IEncoderCallback*>(this);
  }

  bool LoadComponent();
  bool CreateComponentObjects();

  const tavio::GUID classId;
  const std::filesystem::path componentFolder;  // empty: the executable's folder
  std::mutex loadLock;                          // serialises LoadComponent
  int32_t loadCount = 0;
  void* module = nullptr;                       // never closed
  DllGetClassObjectFn getClassObject = nullptr;
  base::ComPtr<tavio::ICodecEncoder> codecEncoder;
  base::ComPtr<tavio::ICodecSettings> codecSettings;
};
