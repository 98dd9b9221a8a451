#include "engine/codec_plugin_encoder.h"

#include <dlfcn.h>

#include "base/path_service.h"

CodecPluginEncoder::CodecPluginEncoder(const tavio::GUID& id, std::filesystem::path folder)
    : classId(id), componentFolder(std::move(folder)) {
  AddOwnerReference();
}

CodecPluginEncoder::~CodecPluginEncoder() {
  codecSettings.Reset();
  // The plug-in's encoder object drops its reference on our callback as it goes, so it goes
  // while this object is still whole.
  codecEncoder.Reset();
}

bool CodecPluginEncoder::LoadComponent() {
  std::filesystem::path folder = componentFolder;
  if (folder.empty()) base::PathService::Get(base::PathService::DIR_EXE, &folder);
  const std::filesystem::path path = folder / kCodecLibraryName;
  std::lock_guard<std::mutex> lock(loadLock);
  ++loadCount;
  if (module != nullptr || folder.empty()) return false;
  module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return false;
  getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(module, kDllGetClassObjectName));
  return true;
}

bool CodecPluginEncoder::CreateComponentObjects() {
  if (getClassObject == nullptr) return false;
  void* factoryOut = nullptr;
  getClassObject(&classId, &tavio::IID_IClassFactory, &factoryOut);
  const auto factory =
      base::ComPtr<tavio::IClassFactory>::Adopt(static_cast<tavio::IClassFactory*>(factoryOut));
  if (!factory) return false;
  void* encoderOut = nullptr;
  factory->CreateInstance(nullptr, tavio::IID_ICodecEncoder, &encoderOut);
  codecEncoder =
      base::ComPtr<tavio::ICodecEncoder>::Adopt(static_cast<tavio::ICodecEncoder*>(encoderOut));
  if (codecEncoder) {
    void* settingsOut = nullptr;
    codecEncoder->QueryInterface(tavio::IID_ICodecSettings, &settingsOut);
    codecSettings = base::ComPtr<tavio::ICodecSettings>::Adopt(
        static_cast<tavio::ICodecSettings*>(settingsOut));
  }
  return static_cast<bool>(codecSettings);
}

bool CodecPluginEncoder::PrepareFormat(const MediaInfo& format) {
  if (!LoadComponent() || !CreateComponentObjects()) return false;
  Configure(*codecSettings);

  tavio::WaveFormatEx wave{};
  const auto bits = static_cast<uint16_t>(format.bitsPerSample);
  const auto channels = static_cast<uint16_t>(format.channels);
  wave.wFormatTag = tavio::kWaveFormatPcm;
  wave.nChannels = channels;
  wave.nSamplesPerSec = static_cast<uint32_t>(format.sampleRate);
  wave.nAvgBytesPerSec = static_cast<uint32_t>(bits * channels) * wave.nSamplesPerSec / 8;
  wave.nBlockAlign = static_cast<uint16_t>(bits * channels / 8);
  wave.wBitsPerSample = bits;
  wave.cbSize = 0;
  return codecEncoder->InitStream(static_cast<tavio::IEncoderCallback*>(this), &wave) == 0;
}

bool CodecPluginEncoder::HandBlock(uint8_t* block, int32_t bytes) {
  return codecEncoder->Encode(block, bytes) == 0;
}

bool CodecPluginEncoder::FinishFile() { return codecEncoder->Finish() == 0; }

int32_t CodecPluginEncoder::Read(void* buffer, int32_t bytes) {
  // Open for writing only: nothing can come back.
  return file.is_open() && buffer != nullptr ? 0 : -1;
}

int32_t CodecPluginEncoder::Write(const void* data, int32_t bytes) {
  if (!file.is_open() || data == nullptr || bytes < 0) return -1;
  return file.Write(data, static_cast<size_t>(bytes)) ? 0 : -1;
}

int32_t CodecPluginEncoder::Seek(int64_t offset, int32_t origin, uint64_t* newPosition) {
  if (!file.is_open()) return -1;
  uint64_t position = 0;
  if (!file.Seek(offset, origin, &position) || newPosition == nullptr) return -1;
  *newPosition = position;
  return 0;
}
