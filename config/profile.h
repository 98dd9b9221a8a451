// Profile reads: the two settings the program reads from INI files, with the semantics of the
// Win32 profile functions the program was designed around (GetPrivateProfileStringW and
// GetPrivateProfileIntW): the first matching section and key in file order, names compared
// without regard to letter case, white space around names and values dropped, one pair of
// enclosing quotes dropped, the default when the file, the section or the key is missing, and a
// string cut to the caller's buffer.
//
// The program never writes these files. Any thread; every call reads the file afresh.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace config {

// The value of `key` in `section`, at most bufferChars - 1 characters long (an empty text for a
// buffer of 0). A key written with an empty value gives an empty text, not the default.
std::wstring ReadProfileString(const std::filesystem::path& file, std::wstring_view section,
                               std::wstring_view key, std::wstring_view defaultValue,
                               size_t bufferChars = 260);

// The value read as an unsigned 32-bit number and returned as int: leading white space and one
// sign are skipped, "0x", "0o" and "0b" choose the base, reading stops at the first character that
// is no digit of it, and overflow wraps. `defaultValue` when the key is missing or its value empty;
// a value without digits reads as 0.
int ReadProfileInt(const std::filesystem::path& file, std::wstring_view section,
                   std::wstring_view key, int defaultValue);

// "optionv7.ini" beside the executable (empty when the executable cannot be found).
std::filesystem::path OptionIniPath();

// Section "Sonaclip", key "OtherRing" of "optionv7.ini": the address template of the web page of
// other people's ringtones; empty when unset (the caller then uses its built-in address).
std::wstring ReadOtherRingTemplate();

// The crash data folder: "TaVio8" in the user's data folder. The program never creates it.
std::filesystem::path CrashDataFolder();

// The product id crash files and settings carry.
constexpr int kCrashProductId = 7680;

// "net_option.ini" in the crash data folder, section "CrashReport", key "UploadHttpDmp_7680";
// 0 when missing. Not zero means: start the crash reporter after a crash.
int ReadUploadDumpSwitch();

}  // namespace config
