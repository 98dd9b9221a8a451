// IniFile: reads a whole INI file into memory, answers lookups, takes changes and writes the whole
// file back. Files in the locale's character set, in UTF-16LE with a byte-order mark and in UTF-8
// with a byte-order mark are read; section and key names match without regard to ASCII letter
// case; comments are kept. A missing file is recovered from its ".bak" copy.
//
// Save never leaves a half-written file: the text goes to a temporary file beside it, which then
// replaces the old file in one rename.
//
// One instance per use, used by one thread at a time; no internal locking.
#pragma once

#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace config {

struct IniSection {
  std::map<std::wstring, std::wstring> entries;  // key as written -> value
  std::list<std::wstring> comments;              // without their ';' or '#'
};

class IniFile {
 public:
  explicit IniFile(const std::wstring& path);
  virtual ~IniFile();

  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // True when the file was read, every line was accepted and at least one section exists. A line
  // that starts with a character that is not printable stops the reading (what was read stays).
  bool Load();
  // Writes every section, comment and entry; false when the path is empty or the file cannot be
  // written, and the old file is then as it was.
  bool Save();

  // The parsing and the text of Load and Save without the file: the bytes of a whole file in,
  // the bytes Save would write out.
  bool LoadBytes(std::string_view bytes);
  std::string SavedBytes() const;

  std::wstring GetString(const std::wstring& section, const std::wstring& key,
                         const std::wstring& defaultValue) const;
  // The value read as _wtoi reads it: leading white space, a sign, digits up to the first
  // non-digit; 0 without digits; out of range gives INT_MAX or INT_MIN.
  int GetInt(const std::wstring& section, const std::wstring& key) const;
  bool SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  bool SetInt(const std::wstring& section, const std::wstring& key, int n);

  void AddSection(const std::wstring& name);
  // The first section, in map order, whose folded name equals the folded `name`.
  IniSection* FindSection(const std::wstring& name);
  const IniSection* FindSection(const std::wstring& name) const;

  std::wstring FoldCase(std::wstring text) const;
  int DetectEncoding() const;

  const std::map<std::wstring, IniSection>& sections() const { return sectionMap; }
  const std::list<std::wstring>& headerComments() const { return leadingComments; }
  int encoding() const { return fileEncoding; }
  const std::wstring& backupPath() const { return backupFile; }

 private:
  bool ParseLine(std::wstring line, std::wstring* currentSection);

  bool caseInsensitive = true;
  std::wstring path;
  std::wstring backupFile;
  std::map<std::wstring, IniSection> sectionMap;
  std::list<std::wstring> leadingComments;
  int fileEncoding = 0;
};

// A character a line may start with: not a control character, not a lone surrogate half.
bool IsPrintableLead(wchar_t c);

// _wtoi: see IniFile::GetInt.
int WideToInt(std::wstring_view text);

}  // namespace config
