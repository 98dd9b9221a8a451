// The container of a compiled skin file (.skn): the skin's index (JSON) and its images, as the
// skin packer writes them and SkinManager reads them. Layout, all integers little-endian:
//   "TVSKIN" 0x00 0x01        8-byte magic (format version 1)
//   u32 index length, index bytes (UTF-8 JSON)
//   u32 resource count, then per resource: u32 name length, name (UTF-8), u32 size, bytes
//   u32 FNV-1a hash of every byte before it
// Reading checks every length against the bytes left and the hash, so a truncated or damaged
// file is refused instead of read past its end. Any thread.
#pragma once

#include <map>
#include <string>

#include <QByteArray>

namespace tavio_ui::skin_file {

struct Contents {
  QByteArray index;
  std::map<std::string, QByteArray> resources;
};

QByteArray Write(const Contents& contents);
bool Read(const QByteArray& data, Contents* out, std::string* error);

}  // namespace tavio_ui::skin_file
