// The address of the other-ringtones page and the rings the built-in service lists: templates
// read as text (never as a format), names encoded as query values, addresses the window must not
// open replaced by the built-in one, and the rings of a real "Ring" folder with their lengths.
#include <gtest/gtest.h>

#include <tuple>

#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "base/strings.h"
#include "config/profile.h"
#include "tests/engine/ring_fixtures.h"
#include "windows/ring_library.h"
#include "windows/ring_search_url.h"

namespace {

namespace fs = std::filesystem;
using ringtest::TempDir;
using namespace ringsearch;

QUrlQuery QueryOf(const std::wstring& url) {
  return QUrlQuery(QUrl(QString::fromStdWString(url)));
}

TEST(RingSearchUrlTest, DefaultAddressCarriesTheNameAsOneQueryValue) {
  struct Case {
    std::wstring name;
    std::wstring encoded;
  };
  for (const Case& c : {
           Case{L"Rock & Roll #1", L"Rock%20%26%20Roll%20%231"},
           Case{L"100% 夜曲", L"100%25%20%E5%A4%9C%E6%9B%B2"},
           Case{L"a=b+c?d/e", L"a%3Db%2Bc%3Fd%2Fe"},
           Case{L"", L""},
       }) {
    SCOPED_TRACE(base::WideToUTF8(c.name));
    const std::wstring url = RingSearchUrlFrom(kDefaultTemplate, c.name);
    EXPECT_EQ(url, L"sonaclip://rings/Search/Dmatch.aspx?key=" + c.encoded + L"&aid=220&version=2009");
    const QUrlQuery query = QueryOf(url);
    EXPECT_EQ(query.queryItemValue("key", QUrl::FullyDecoded).toStdWString(), c.name);
    EXPECT_EQ(query.queryItemValue("aid").toStdString(), "220");
    EXPECT_EQ(query.queryItemValue("version").toStdString(), "2009");
  }
}

TEST(RingSearchUrlTest, TemplatesAreTextNotFormats) {
  struct Case {
    const wchar_t* pattern;
    const wchar_t* expected;
  };
  for (const Case& c : {
           // One placeholder: the name only, no version.
           Case{L"https://rings.example/find?q=%s", L"https://rings.example/find?q=a%20b"},
           // Only the first two are filled; "%%" is one percent sign, other sequences stay.
           Case{L"http://h/%s/%s/%s%s", L"http://h/a%20b/2009/%s%s"},
           Case{L"http://h/%n%n%s?p=%d%x%p&v=%s", L"http://h/%n%na%20b?p=%d%x%p&v=2009"},
           Case{L"http://h/%%s%s%%", L"http://h/%sa%20b%"},
           Case{L"http://h/?key=%s&tag=100%%", L"http://h/?key=a%20b&tag=100%"},
           Case{L"http://h/%", L"http://h/%"},
           Case{L"http://h/%S%ls%s", L"http://h/%S%lsa%20b"},
           // No placeholder at all.
           Case{L"http://h/fixed", L"http://h/fixed"},
       }) {
    SCOPED_TRACE(base::WideToUTF8(c.pattern));
    EXPECT_EQ(RingSearchUrlFrom(c.pattern, L"a b"), c.expected);
  }
}

TEST(RingSearchUrlTest, AddressesTheWindowMustNotOpenFallBackToTheBuiltInService) {
  const std::wstring builtIn = RingSearchUrlFrom(kDefaultTemplate, L"夜曲");
  for (const wchar_t* pattern : {
           L"file:///etc/passwd?%s",
           L"javascript:alert('%s')",
           L"JavaScript:alert(1)//%s",
           L"data:text/html,<b>%s</b>",
           L"ftp://rings.example/%s",
           L"sonaclip://elsewhere/Search/Dmatch.aspx?key=%s",
           L"/Search/Dmatch.aspx?key=%s",
           L"%n%n%s",
           L"%s%s%s%s",
           L"",
           L"http:///nohost?%s",
       }) {
    SCOPED_TRACE(base::WideToUTF8(pattern));
    EXPECT_EQ(RingSearchUrlFrom(pattern, L"夜曲"), builtIn);
  }
}

TEST(RingSearchUrlTest, TheSettingsTemplateIsUsedWhenTheWindowMayOpenIt) {
  const fs::path ini = config::OptionIniPath();
  ASSERT_FALSE(ini.empty());
  ASSERT_FALSE(fs::exists(ini)) << "a settings file is already beside the test";
  struct RemoveAtEnd {
    fs::path file;
    ~RemoveAtEnd() { fs::remove(file); }
  } remove{ini};
  const std::wstring builtIn = RingSearchUrlFrom(kDefaultTemplate, L"Rock & Roll #1");
  EXPECT_EQ(RingSearchUrl(L"Rock & Roll #1"), builtIn) << "no file";
  struct Case {
    const char* file;
    std::wstring expected;
  };
  for (const Case& c : {
           Case{"[Sonaclip]\r\nOtherRing=https://rings.example/s?k=%s&v=%s\r\n",
                L"https://rings.example/s?k=Rock%20%26%20Roll%20%231&v=2009"},
           Case{"[sonaclip]\notherring = \"http://h/%s\"\n", L"http://h/Rock%20%26%20Roll%20%231"},
           Case{"[Sonaclip]\nOtherRing=file:///etc/passwd?%s\n", builtIn},
           Case{"[Sonaclip]\nOtherRing=\n", builtIn},
           Case{"[Other]\nOtherRing=http://h/%s\n", builtIn},
       }) {
    SCOPED_TRACE(c.file);
    ringtest::WriteAll(ini, c.file);
    EXPECT_EQ(RingSearchUrl(L"Rock & Roll #1"), c.expected);
  }
}

TEST(RingSearchUrlTest, OnlyTheLastExtensionOfTheSongIsRemoved) {
  EXPECT_EQ(SongNameOf(L"Rock & Roll #1.mp3"), L"Rock & Roll #1");
  EXPECT_EQ(SongNameOf(L"夜曲.live.flac"), L"夜曲.live");
  EXPECT_EQ(SongNameOf(L"no extension"), L"no extension");
  EXPECT_EQ(SongNameOf(L"folder.d/song"), L"folder.d/song");
}

class RingLibraryTest : public ::testing::Test {
 protected:
  // A file in the ring folder, its modification time minutesAgo minutes back.
  fs::path Ring(const std::string& name, int minutesAgo, const std::string& content = "x") {
    const fs::path path = dir / name;
    ringtest::WriteAll(path, content);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo));
    return path;
  }
  std::vector<std::string> Names(const std::wstring& key) {
    std::vector<std::string> names;
    for (const RingFile& ring : FindRings({dir.path()}, key)) names.push_back(base::WideToUTF8(ring.name));
    return names;
  }

  TempDir dir{"sonaclip-ring-library"};
};

TEST_F(RingLibraryTest, ListsMatchingRingsNewestFirst) {
  Ring("夜曲 live.mp3", 30);
  Ring("夜曲.wav", 10);
  Ring("Other.MP3", 20);
  Ring("夜曲 notes.txt", 1);
  Ring("夜曲 iPhone.m4r", 40);
  Ring("夜曲 Android.OGG", 50);
  fs::create_directory(dir / "夜曲 folder.mp3");
  EXPECT_EQ(Names(L"夜曲"), (std::vector<std::string>{"夜曲.wav", "夜曲 live.mp3", "夜曲 iPhone.m4r",
                                                     "夜曲 Android.OGG"}));
  EXPECT_EQ(Names(L"other"), std::vector<std::string>{"Other.MP3"});
  EXPECT_EQ(Names(L""), (std::vector<std::string>{"夜曲.wav", "Other.MP3", "夜曲 live.mp3",
                                                 "夜曲 iPhone.m4r", "夜曲 Android.OGG"}));
  for (const wchar_t* key : {L"../../etc", L"/etc/passwd", L"..", L"夜曲/"}) {
    SCOPED_TRACE(base::WideToUTF8(key));
    EXPECT_TRUE(Names(key).empty());
  }
  const std::vector<RingFile> rings = FindRings({dir.path(), dir / "missing"}, L"Other");
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0].format, L"MP3");
  EXPECT_EQ(rings[0].bytes, 1u);
}

TEST_F(RingLibraryTest, LengthsComeFromTheHeaders) {
  ringtest::WriteWav(dir / "exact.wav", ringtest::MakeSong(16, 2, 8000, 8000 * 5 / 2));
  EXPECT_EQ(ProbeLengthMs(dir / "exact.wav"), 2500);
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=3 -ar 44100 "
                          "-c:a libmp3lame -b:a 128k '" + (dir / "info.mp3").string() + "'"),
            0);
  EXPECT_NEAR(ProbeLengthMs(dir / "info.mp3"), 3000, 60);
  ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=4 -ar 22050 "
                          "-ac 1 -c:a libmp3lame -b:a 64k -write_xing 0 '" +
                          (dir / "plain.mp3").string() + "'"),
            0);
  EXPECT_NEAR(ProbeLengthMs(dir / "plain.mp3"), 4000, 100);
  // The phones' formats, as the ffmpeg command writes them (the iPhone's with a cover first).
  for (const auto& [name, codec, ms] : {std::tuple{"ring.ogg", "-c:a libvorbis", 2500},
                                        std::tuple{"ring.m4r", "-c:a aac -f ipod", 3500},
                                        std::tuple{"ring.m4a", "-c:a aac", 1500}}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(ringtest::Run("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=" +
                            std::to_string(ms / 1000.0) + " -ar 44100 " + codec + " '" +
                            (dir / name).string() + "'"),
              0);
    EXPECT_NEAR(ProbeLengthMs(dir / name), ms, 30);
  }
  Ring("broken.wav", 0, "RIFF....WAVEjunk");
  Ring("broken.mp3", 0, std::string(100, '\0'));
  Ring("broken.ogg", 0, "OggS" + std::string(60, '\0'));
  Ring("broken.m4r", 0, std::string("\0\0\0\x10moov\0\0\0\x08mvhd", 16));
  for (const char* name : {"broken.wav", "broken.mp3", "broken.ogg", "broken.m4r", "missing.wav"}) {
    EXPECT_EQ(ProbeLengthMs(dir / name), -1) << name;
  }
}

TEST_F(RingLibraryTest, RingFoldersAreTheMusicFolderRingWhenItExists) {
  const std::string home = (dir / "home").string();
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "home/.config").string().c_str(), 1);
  fs::create_directories(dir / "home");
  auto listsMusicRing = [&] {
    const std::vector<fs::path> folders = RingFolders();
    return std::count(folders.begin(), folders.end(), fs::weakly_canonical(dir / "home/Music/Ring"));
  };
  EXPECT_EQ(listsMusicRing(), 0);
  fs::create_directories(dir / "home/Music/Ring");
  EXPECT_EQ(listsMusicRing(), 1);
}

}  // namespace
