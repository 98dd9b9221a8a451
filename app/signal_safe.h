// Small text and file helpers for code that runs inside a crashed process: no allocation, no
// locale, no stdio; only plain loops over caller-owned buffers and async-signal-safe system calls.
// Any thread, including from a signal handler.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crash {

// Length of a NUL-terminated text.
size_t SafeLength(const char* text);

// Appends `text` to the NUL-terminated `buffer` of `capacity` bytes, cutting what does not fit.
// Returns false when something was cut.
bool SafeAppend(char* buffer, size_t capacity, const char* text);
bool SafeAppendDecimal(char* buffer, size_t capacity, uint64_t value, int minDigits = 1);

// Two lower-case hexadecimal digits per byte, NUL-terminated; `out` holds 2 * size + 1 bytes.
void SafeHex(const unsigned char* bytes, size_t size, char* out);

// Parses hexadecimal digits at *cursor, moving it past them.
uint64_t SafeParseHex(const char** cursor);

bool SafeEqual(const char* a, const char* b);

// write() until done, repeating after EINTR and short writes.
bool SafeWriteAll(int fd, const void* data, size_t size);

// Reads a whole file into `buffer` (NUL-terminated); returns the bytes read, 0 on failure.
size_t SafeReadFile(const char* path, char* buffer, size_t capacity);

// Copies memory of this process that may not be mapped, through process_vm_readv, which reports
// an unmapped page as an error where reading it would fault: the bytes copied from its start
// (fewer than `size` where a page could not be read), 0 when none could.
size_t SafeReadOwnMemory(uintptr_t address, void* out, size_t size);

}  // namespace crash
