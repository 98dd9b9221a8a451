#include "ui/skin_file.h"

#include <cstdint>
#include <cstring>

namespace tavio_ui::skin_file {

namespace {

constexpr char kMagic[8] = {'T', 'V', 'S', 'K', 'I', 'N', 0, 1};

uint32_t Fnv1a(const char* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 16777619u;
  }
  return h;
}

void PutU32(QByteArray& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

class Reader {
 public:
  Reader(const char* data, size_t size) : data(data), size(size) {}
  bool U32(uint32_t* v) {
    if (size - cursor < 4) return false;
    uint32_t r = 0;
    for (int i = 0; i < 4; ++i) r |= uint32_t(static_cast<unsigned char>(data[cursor + i])) << (8 * i);
    cursor += 4;
    *v = r;
    return true;
  }
  bool Bytes(uint32_t n, QByteArray* out) {
    if (size - cursor < n) return false;
    *out = QByteArray(data + cursor, static_cast<qsizetype>(n));
    cursor += n;
    return true;
  }
  size_t pos() const { return cursor; }

 private:
  const char* data;
  size_t size;
  size_t cursor = 0;
};

}  // namespace

QByteArray Write(const Contents& contents) {
  QByteArray out(kMagic, sizeof(kMagic));
  PutU32(out, static_cast<uint32_t>(contents.index.size()));
  out.append(contents.index);
  PutU32(out, static_cast<uint32_t>(contents.resources.size()));
  for (const auto& [name, bytes] : contents.resources) {
    PutU32(out, static_cast<uint32_t>(name.size()));
    out.append(name.data(), static_cast<qsizetype>(name.size()));
    PutU32(out, static_cast<uint32_t>(bytes.size()));
    out.append(bytes);
  }
  PutU32(out, Fnv1a(out.constData(), static_cast<size_t>(out.size())));
  return out;
}

bool Read(const QByteArray& data, Contents* out, std::string* error) {
  auto fail = [error](const char* why) {
    if (error) *error = why;
    return false;
  };
  const size_t size = static_cast<size_t>(data.size());
  if (size < sizeof(kMagic) + 12) return fail("file too short");
  if (std::memcmp(data.constData(), kMagic, sizeof(kMagic)) != 0) {
    return fail("not a skin file of this format");
  }
  const size_t body = size - 4;
  Reader tail(data.constData() + body, 4);
  uint32_t stored = 0;
  tail.U32(&stored);
  if (stored != Fnv1a(data.constData(), body)) return fail("damaged skin file (hash mismatch)");

  Reader r(data.constData() + sizeof(kMagic), body - sizeof(kMagic));
  Contents contents;
  uint32_t indexSize = 0;
  if (!r.U32(&indexSize) || !r.Bytes(indexSize, &contents.index)) return fail("truncated index");
  uint32_t count = 0;
  if (!r.U32(&count)) return fail("truncated resource table");
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t nameSize = 0, bytesSize = 0;
    QByteArray name, bytes;
    if (!r.U32(&nameSize) || !r.Bytes(nameSize, &name) || !r.U32(&bytesSize) ||
        !r.Bytes(bytesSize, &bytes)) {
      return fail("truncated resource");
    }
    contents.resources[name.toStdString()] = std::move(bytes);
  }
  if (r.pos() != body - sizeof(kMagic)) return fail("trailing bytes after the resources");
  *out = std::move(contents);
  return true;
}

}  // namespace tavio_ui::skin_file
