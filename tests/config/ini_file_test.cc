// IniFile through real files: the line rules, lookups that ignore letter case, the three
// encodings, the save order and line ends, the ".bak" recovery, and saves that never leave a
// half-written file.

#include "config/ini_file.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "base/strings.h"
#include "config/ini_text.h"
#include "tests/support/temp_dir.h"

namespace config {
namespace {

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }

class IniFileTest : public ::testing::Test {
 protected:
  // Writes `bytes` as the file and loads it; returns Load's answer.
  bool LoadFrom(const std::string& bytes) {
    WriteBytes(file(), bytes);
    iniFile = std::make_unique<IniFile>(Wide(file()));
    return iniFile->Load();
  }
  std::filesystem::path file() const { return dir / "test.ini"; }
  IniFile& ini() { return *iniFile; }

  testsupport::TempDir dir{"sonaclip-ini"};
  std::unique_ptr<IniFile> iniFile;
};

TEST_F(IniFileTest, EntriesKeepWhatFollowsTheEqualsSign) {
  ASSERT_TRUE(LoadFrom("[S]\nkey = value ; note\nurl=http://a/?x=1;y=[2]#z\n"));
  EXPECT_EQ(ini().GetString(L"S", L"key", L"-"), L"value ; note");
  EXPECT_EQ(ini().GetString(L"S", L"url", L"-"), L"http://a/?x=1;y=[2]#z");
}

TEST_F(IniFileTest, CommentsKeepTheirTextAndDropWhatPrecedesTheMark) {
  ASSERT_TRUE(LoadFrom("; header\n[S]\n; a=b\nx;y\n# hash\n"));
  EXPECT_EQ(ini().headerComments(), (std::list<std::wstring>{L" header"}));
  const IniSection* section = ini().FindSection(L"S");
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(section->comments, (std::list<std::wstring>{L" a=b", L"y", L" hash"}));
  EXPECT_TRUE(section->entries.empty());
}

TEST_F(IniFileTest, SectionHeaders) {
  ASSERT_TRUE(LoadFrom("[First]\n[Name\na=1\n[ Name ]\nb=2\n[First]\nc=3\n]x[\nd=4\n"));
  EXPECT_EQ(ini().GetString(L"First", L"a", L"-"), L"1") << "'[Name' leaves the section as it was";
  EXPECT_EQ(ini().GetString(L" Name ", L"b", L"-"), L"2") << "the name keeps its spaces";
  EXPECT_EQ(ini().GetString(L"Name", L"b", L"-"), L"-");
  EXPECT_EQ(ini().GetString(L"First", L"c", L"-"), L"3") << "the same header continues the section";
  EXPECT_EQ(ini().GetString(L"First", L"d", L"-"), L"4") << "a ']' before the '[' is no header";
  EXPECT_EQ(ini().sections().size(), 2u);
}

TEST_F(IniFileTest, TabsAreTrimmedAfterSpaces) {
  ASSERT_TRUE(LoadFrom("[S]\n\tCount=3\nOther=\t 3\nBoth = \t x \t\n"));
  EXPECT_EQ(ini().GetString(L"S", L"Count", L"-"), L"3");
  EXPECT_EQ(ini().GetString(L"S", L"Other", L"-"), L" 3");
  EXPECT_EQ(ini().GetString(L"S", L"Both", L"-"), L" x ") << "spaces go first, then tabs";
}

TEST_F(IniFileTest, LookupsIgnoreLetterCaseAndTheFirstInOrderWins) {
  ASSERT_TRUE(LoadFrom("[Crash]\nCount=7\n"));
  EXPECT_EQ(ini().GetString(L"crash", L"COUNT", L"-"), L"7");
  ini().SetString(L"Crash", L"count", L"9");
  EXPECT_EQ(ini().FindSection(L"CRASH")->entries.size(), 2u);
  EXPECT_EQ(ini().GetString(L"crash", L"COUNT", L"-"), L"7") << "'Count' sorts before 'count'";
  ini().SetString(L"CRASH", L"New", L"1");
  EXPECT_EQ(ini().sections().size(), 1u) << "a section of another case is the same section";
}

TEST_F(IniFileTest, EntriesBeforeAnySectionGoToTheUnnamedOne) {
  ASSERT_TRUE(LoadFrom("a=1\n[S]\na=2\na=3\n"));
  EXPECT_EQ(ini().GetString(L"", L"a", L"-"), L"1");
  EXPECT_EQ(ini().GetString(L"S", L"a", L"-"), L"3") << "a later entry replaces an earlier one";
  EXPECT_EQ(ini().SavedBytes(), "[]\r\na=1\r\n\r\n[S]\r\na=3\r\n\r\n");
}

TEST_F(IniFileTest, GetIntReadsAsWtoiDoes) {
  ASSERT_TRUE(LoadFrom("[N]\na= -12abc\nb=abc\nc=+7\nd=99999999999\ne=-99999999999\n"));
  EXPECT_EQ(ini().GetInt(L"N", L"a"), -12);
  EXPECT_EQ(ini().GetInt(L"N", L"b"), 0);
  EXPECT_EQ(ini().GetInt(L"N", L"c"), 7);
  EXPECT_EQ(ini().GetInt(L"N", L"d"), INT_MAX);
  EXPECT_EQ(ini().GetInt(L"N", L"e"), INT_MIN);
  EXPECT_EQ(ini().GetInt(L"N", L"missing"), 0);
  ini().SetInt(L"N", L"f", -5);
  EXPECT_EQ(ini().GetString(L"N", L"f", L""), L"-5");
}

TEST_F(IniFileTest, ALineStartingWithAControlCharacterStopsTheReading) {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(LoadFrom("[S]\na=1\n\fb=2\nc=3\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failing on char 12\n");
  EXPECT_EQ(ini().GetString(L"S", L"a", L"-"), L"1") << "what was read before stays";
  EXPECT_EQ(ini().GetString(L"S", L"c", L"-"), L"-");
}

TEST_F(IniFileTest, AFileWithoutSectionsOrWithoutAFileLoadsNothing) {
  EXPECT_FALSE(LoadFrom("just text\n\n"));
  IniFile missing(Wide(dir / "missing.ini"));
  EXPECT_FALSE(missing.Load());
  EXPECT_EQ(missing.GetString(L"S", L"k", L"def"), L"def");
}

TEST_F(IniFileTest, SaveSortsSectionsAndKeysAndEndsLinesWithCrLf) {
  ASSERT_TRUE(LoadFrom("# top\n[b]\nz=1\nA=2\n# note\n[B]\nk=v\n"));
  ASSERT_TRUE(ini().Save());
  EXPECT_EQ(ReadBytes(file()),
            "; top\r\n\r\n[B]\r\nk=v\r\n\r\n[b]\r\n; note\r\nA=2\r\nz=1\r\n\r\n");
}

TEST_F(IniFileTest, AnAnsiFileComesBackAsItWasWritten) {
  ASSERT_TRUE(LoadFrom("[Crash]\nCount=7\n"));
  ASSERT_TRUE(ini().Save());
  EXPECT_EQ(ReadBytes(file()), "[Crash]\r\nCount=7\r\n\r\n");
}

// The same settings in each of the three encodings read the same (a line ended by CR CR LF loses
// both CRs); a file read with a byte-order mark is written back as UTF-16LE.
struct EncodingCase {
  const char* name;
  std::string bytes;
  int encoding;
};

void PrintTo(const EncodingCase& c, std::ostream* out) { *out << c.name; }

class IniEncodingTest : public IniFileTest, public ::testing::WithParamInterface<EncodingCase> {};

std::string Utf16File(const std::wstring& text) { return "\xFF\xFE" + WideToUtf16LE(text); }

const std::wstring kText = L"[铃声]\r\n名字=Tavio铃声 🎵\r\nCount=3\r\nTail=end\r\r\n";

TEST_P(IniEncodingTest, ReadsTheSameSettings) {
  ASSERT_TRUE(LoadFrom(GetParam().bytes));
  EXPECT_EQ(ini().encoding(), GetParam().encoding);
  EXPECT_EQ(ini().GetString(L"铃声", L"名字", L"-"), L"Tavio铃声 🎵");
  EXPECT_EQ(ini().GetInt(L"铃声", L"count"), 3);
  EXPECT_EQ(ini().GetString(L"铃声", L"Tail", L"-"), L"end");

  ASSERT_TRUE(ini().Save());
  const std::wstring saved = L"[铃声]\r\nCount=3\r\nTail=end\r\n名字=Tavio铃声 🎵\r\n\r\n";
  EXPECT_EQ(ReadBytes(file()),
            GetParam().encoding == EncodingAnsi ? WideToAnsi(saved) : Utf16File(saved));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, IniEncodingTest,
    ::testing::Values(
        EncodingCase{"ansi", base::WideToUTF8(kText), EncodingAnsi},
        EncodingCase{"utf8_bom", "\xEF\xBB\xBF" + base::WideToUTF8(kText), EncodingUtf8},
        EncodingCase{"utf16le_bom", Utf16File(kText), EncodingUtf16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, Utf16TextEndsAtTheFirstZeroCharacter) {
  std::string bytes = Utf16File(L"[S]\r\na=1\r\n");
  bytes += std::string("\0\0", 2) + WideToUtf16LE(L"b=2\r\n");
  ASSERT_TRUE(LoadFrom(bytes));
  EXPECT_EQ(ini().GetString(L"S", L"a", L"-"), L"1");
  EXPECT_EQ(ini().GetString(L"S", L"b", L"-"), L"-");
}

TEST_F(IniFileTest, ShorterTextOverALongerUtf16FileLeavesNoTrace) {
  std::wstring longText = L"[S]\r\n";
  for (int i = 0; i < 200; ++i) longText += L"key" + std::to_wstring(i) + L"=some longer value\r\n";
  WriteBytes(file(), Utf16File(longText));
  IniFile rewritten(Wide(file()));
  ASSERT_EQ(rewritten.DetectEncoding(), EncodingUtf16);
  ASSERT_TRUE(rewritten.Load());
  for (int i = 0; i < 200; ++i) rewritten.FindSection(L"S")->entries.erase(L"key" + std::to_wstring(i));
  rewritten.SetString(L"S", L"only", L"1");
  ASSERT_TRUE(rewritten.Save());
  EXPECT_EQ(ReadBytes(file()), Utf16File(L"[S]\r\nonly=1\r\n\r\n"));
}

TEST_F(IniFileTest, AMissingFileIsRecoveredFromItsBackup) {
  WriteBytes(dir / "test.ini.bak", "[S]\na=1\n");
  IniFile ini(Wide(file()));
  EXPECT_EQ(ini.backupPath(), Wide(file()) + L".bak");
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ(ini.GetString(L"S", L"a", L"-"), L"1");
  EXPECT_TRUE(std::filesystem::exists(file()));
  EXPECT_FALSE(std::filesystem::exists(dir / "test.ini.bak")) << "renamed, not copied";
}

TEST_F(IniFileTest, SaveWithoutLoadCreatesTheFileAndLeavesNothingElse) {
  IniFile ini(Wide(file()));
  ini.SetString(L"S", L"k", L"v");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(file()), "[S]\r\nk=v\r\n\r\n");
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"test.ini"}) << "no temporary file is left";

  EXPECT_FALSE(IniFile(L"").Save());
  IniFile nowhere(Wide(dir / "no-such-folder" / "x.ini"));
  nowhere.SetString(L"S", L"k", L"v");
  EXPECT_FALSE(nowhere.Save());
}

// A save that fails half-way (here: the file size limit stops the write) leaves the old file
// whole and no temporary file behind. Runs in a child, which alone gets the limit.
TEST_F(IniFileTest, ASaveThatFailsHalfWayLeavesTheOldFileWhole) {
  const std::string old = "[Old]\nkept=yes\n";
  WriteBytes(file(), old);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    setrlimit(RLIMIT_FSIZE, &limit);
    IniFile ini(Wide(file()));
    ini.SetString(L"S", L"long", std::wstring(4096, L'x'));
    _exit(ini.Save() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "Save reported success";
  EXPECT_EQ(ReadBytes(file()), old);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"test.ini"});
}

}  // namespace
}  // namespace config
