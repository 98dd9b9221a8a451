#include "app/signal_safe.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace crash {

size_t SafeLength(const char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

bool SafeAppend(char* buffer, size_t capacity, const char* text) {
  size_t at = SafeLength(buffer);
  while (*text && at + 1 < capacity) buffer[at++] = *text++;
  buffer[at] = '\0';
  return *text == '\0';
}

bool SafeAppendDecimal(char* buffer, size_t capacity, uint64_t value, int minDigits) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || n < minDigits);
  char text[24];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  return SafeAppend(buffer, capacity, text);
}

void SafeHex(const unsigned char* bytes, size_t size, char* out) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  out[2 * size] = '\0';
}

uint64_t SafeParseHex(const char** cursor) {
  uint64_t value = 0;
  const char* p = *cursor;
  for (;; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      value = value * 16 + static_cast<uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      value = value * 16 + static_cast<uint64_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      value = value * 16 + static_cast<uint64_t>(c - 'A' + 10);
    } else {
      break;
    }
  }
  *cursor = p;
  return value;
}

bool SafeEqual(const char* a, const char* b) {
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool SafeWriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

size_t SafeReadFile(const char* path, char* buffer, size_t capacity) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t total = 0;
  while (total + 1 < capacity) {
    const ssize_t n = ::read(fd, buffer + total, capacity - 1 - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  buffer[total] = '\0';
  return total;
}

size_t SafeReadOwnMemory(uintptr_t address, void* out, size_t size) {
  struct iovec local = {out, size};
  struct iovec remote = {reinterpret_cast<void*>(address), size};
  const ssize_t copied = syscall(SYS_process_vm_readv, getpid(), &local, 1, &remote, 1, 0);
  return copied > 0 ? static_cast<size_t>(copied) : 0;
}

}  // namespace crash
