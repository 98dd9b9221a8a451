// The profile reads as the Win32 profile functions answer them, through real files; and the two
// settings the program reads, found where they belong.

#include "config/profile.h"

#include <stdlib.h>

#include <climits>
#include <fstream>

#include <gtest/gtest.h>

#include "base/path_service.h"
#include "config/ini_text.h"
#include "tests/support/temp_dir.h"

namespace config {
namespace {

// The user's data folder of this test process: a fresh folder, set before anything asks for it.
class DataFolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir = std::make_unique<testsupport::TempDir>("sonaclip-profile-data");
    setenv("XDG_DATA_HOME", dir->path().c_str(), 1);
  }
  void TearDown() override { dir.reset(); }
  static inline std::unique_ptr<testsupport::TempDir> dir;
};
const auto* const kDataFolder = ::testing::AddGlobalTestEnvironment(new DataFolderEnvironment);

class ProfileTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    return file;
  }
  testsupport::TempDir dir{"sonaclip-profile"};
  std::filesystem::path file = dir / "option.ini";
};

TEST_F(ProfileTest, StringsAsGetPrivateProfileStringReadsThem) {
  const auto file = Write(
      "top=outside\n"
      "[Sonaclip]\n"
      "; OtherRing=commented\n"
      "  OtherRing  =  http://rings/?key=%s&v=%s  \n"
      "otherring=second\n"
      "Quoted=\"  spaced  \"\n"
      "Single='x'\n"
      "Half=\"open\n"
      "Empty=\n"
      "Bare\n"
      "[ sonaclip ]\n"
      "Later=not read\n"
      "[Other]\n"
      "Later=other\n");
  EXPECT_EQ(ReadProfileString(file, L"sonaclip", L"OTHERRING", L"d"), L"http://rings/?key=%s&v=%s");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Quoted", L"d"), L"  spaced  ");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Single", L"d"), L"x");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Half", L"d"), L"\"open");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Empty", L"d"), L"") << "present, so no default";
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Bare", L"d"), L"");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Later", L"d"), L"d")
      << "only the first section of a name is read";
  EXPECT_EQ(ReadProfileString(file, L"Other", L"Later", L"d"), L"other");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"top", L"d"), L"d");
  EXPECT_EQ(ReadProfileString(file, L"Missing", L"key", L"default  "), L"default")
      << "trailing blanks of the default are dropped";
  EXPECT_EQ(ReadProfileString(dir / "none.ini", L"Sonaclip", L"OtherRing", L"d"), L"d");
}

TEST_F(ProfileTest, ALongValueIsCutToTheBuffer) {
  const std::wstring value(300, L'铃');
  const auto file = Write("[Sonaclip]\nOtherRing=" + WideToAnsi(value) + "\n");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"OtherRing", L""), value.substr(0, 259));
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"OtherRing", L"", 5), value.substr(0, 4));
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"OtherRing", L"", 1), L"");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"OtherRing", L"", 0), L"");
  EXPECT_EQ(ReadProfileString(file, L"Sonaclip", L"Missing", L"abcdef", 4), L"abc");
}

TEST_F(ProfileTest, Utf16AndUtf8FilesAreRead) {
  auto file = Write("\xFF\xFE" + WideToUtf16LE(L"[CrashReport]\r\nUploadHttpDmp_7680=1\r\n名=铃\r\n"));
  EXPECT_EQ(ReadProfileInt(file, L"CrashReport", L"UploadHttpDmp_7680", 0), 1);
  EXPECT_EQ(ReadProfileString(file, L"CrashReport", L"名", L""), L"铃");
  file = Write("\xEF\xBB\xBF[CrashReport]\r\nUploadHttpDmp_7680=2\r\n");
  EXPECT_EQ(ReadProfileInt(file, L"CrashReport", L"UploadHttpDmp_7680", 0), 2);
}

struct IntCase {
  const char* name;
  const char* value;  // nullptr: no key at all
  int expected;
};

void PrintTo(const IntCase& c, std::ostream* out) { *out << c.name; }

class ProfileIntTest : public ProfileTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ProfileIntTest, ReadsAsGetPrivateProfileIntDoes) {
  std::string text = "[N]\n";
  if (GetParam().value) text += std::string("k=") + GetParam().value + "\n";
  EXPECT_EQ(ReadProfileInt(Write(text), L"N", L"k", 70), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileIntTest,
    ::testing::Values(IntCase{"missing", nullptr, 70}, IntCase{"empty", "", 70},
                      IntCase{"one", "1", 1}, IntCase{"plus", "+1", 1}, IntCase{"minus", "-1", -1},
                      IntCase{"trailing_text", "123abc", 123}, IntCase{"no_digits", "abc123", 0},
                      IntCase{"hex", "0x10", 16}, IntCase{"hex_upper", "0X1f", 31},
                      IntCase{"hex_without_digits", "0x", 0}, IntCase{"octal", "0o17", 15},
                      IntCase{"binary", "0b101", 5}, IntCase{"leading_zero", "010", 10},
                      IntCase{"int_max", "2147483647", INT_MAX},
                      IntCase{"wraps_to_negative", "2147483648", INT_MIN},
                      IntCase{"all_bits", "4294967295", -1}, IntCase{"wraps_to_zero", "4294967296", 0},
                      IntCase{"quoted", "\"5\"", 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramSettingsTest, OptionIniLiesBesideTheExecutable) {
  std::filesystem::path folder;
  ASSERT_TRUE(base::PathService::Get(base::PathService::DIR_EXE, &folder));
  EXPECT_EQ(OptionIniPath(), folder / "optionv7.ini");
}

TEST(ProgramSettingsTest, TheUploadSwitchIsReadFromTheCrashDataFolder) {
  const std::filesystem::path data = DataFolderEnvironment::dir->path();
  ASSERT_EQ(CrashDataFolder(), data / "TaVio8");
  EXPECT_EQ(ReadUploadDumpSwitch(), 0) << "no folder, no file";

  std::filesystem::create_directory(data / "TaVio8");
  const auto ini = data / "TaVio8" / "net_option.ini";
  std::ofstream(ini) << "[CrashReport]\nUploadHttpDmp_7680=0\n";
  EXPECT_EQ(ReadUploadDumpSwitch(), 0);
  std::ofstream(ini) << "[CrashReport]\nUploadHttpDmp_1=1\n";
  EXPECT_EQ(ReadUploadDumpSwitch(), 0) << "another product's key";
  std::ofstream(ini) << "[crashreport]\nuploadhttpdmp_7680 = 1\n";
  EXPECT_EQ(ReadUploadDumpSwitch(), 1);
}

}  // namespace
}  // namespace config
