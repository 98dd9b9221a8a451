// A generated sweep of mutated INI files through Load and Save: the reader and the writer must
// neither crash (AddressSanitizer watches in the test build) nor hang on any input, and what the
// writer wrote must settle to the same text when read back. Most mutants go through the in-memory halves of
// Load and Save; every 500th goes through a real file, with its backup and its rename.

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/strings.h"
#include "config/ini_file.h"
#include "config/ini_text.h"
#include "tests/support/temp_dir.h"

namespace config {
namespace {

constexpr int kMutants = 300000;
constexpr int kThroughFileEvery = 500;

std::vector<std::string> Seeds() {
  const std::wstring text =
      L";top\r\n[Sonaclip]\r\nOtherRing=http://x/?key=%s\r\n\tCount = 3 ; note\r\n#hash\r\n"
      L"[CrashReport]\r\nUpload=1\r\n[铃声]\r\n名字=值\r\n[ N ]\r\n[N\r\nx;y\r\n=\r\nk=\t 3\r\n"
      L"[crashreport]\r\nCOUNT=4\r\n";
  return {base::WideToUTF8(text), "\xEF\xBB\xBF" + base::WideToUTF8(text),
          "\xFF\xFE" + WideToUtf16LE(text), ""};
}

// Bytes that mean something to the reader, so mutants hit its rules more often than chance.
const std::string kInteresting = std::string(";#[]=\t\r\n \xFF\xFE\xEF\xBB\xBF\x0C\x80", 17) +
                                 std::string(1, '\0');

std::string Mutate(std::string bytes, std::mt19937& random) {
  std::uniform_int_distribution<int> kinds(0, 5);
  const int steps = 1 + static_cast<int>(random() % 8);
  for (int step = 0; step < steps; ++step) {
    const size_t at = bytes.empty() ? 0 : random() % (bytes.size() + 1);
    switch (kinds(random)) {
      case 0:  // flip a bit
        if (at < bytes.size()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
        break;
      case 1:  // insert a meaningful byte
        bytes.insert(at, 1, kInteresting[random() % kInteresting.size()]);
        break;
      case 2:  // insert a random byte
        bytes.insert(at, 1, static_cast<char>(random()));
        break;
      case 3:  // delete a run
        if (at < bytes.size()) bytes.erase(at, 1 + random() % 16);
        break;
      case 4:  // duplicate a run somewhere else
        if (at < bytes.size()) {
          const std::string run = bytes.substr(at, 1 + random() % 32);
          bytes.insert(random() % (bytes.size() + 1), run);
        }
        break;
      default:  // cut the file short
        bytes.resize(at);
        break;
    }
  }
  return bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One mutant through Load and Save; returns what went wrong, or an empty text.
std::string RunMutant(int i, const std::string& mutant, const testsupport::TempDir& dir, bool* loaded) {
  const std::filesystem::path file = dir / "fuzz.ini";
  IniFile ini(file.wstring());
  std::string saved;
  if (i % kThroughFileEvery == 0) {
    // Alternate between the file itself and its backup copy.
    const bool viaBackup = (i / kThroughFileEvery) % 2 == 1;
    std::filesystem::remove(file);
    std::ofstream(viaBackup ? dir / "fuzz.ini.bak" : file, std::ios::binary) << mutant;
    *loaded = ini.Load();
    if (!ini.Save()) return "Save failed";
    saved = ReadBytes(file);
    if (saved != ini.SavedBytes()) return "the file differs from the text Save wrote";
    if (dir.Files() != std::vector<std::string>{"fuzz.ini"}) return "Save left another file behind";
  } else {
    *loaded = ini.LoadBytes(mutant);
    saved = ini.SavedBytes();
  }
  // What was written reads back to the same text after a few rounds: a value whose blanks mix
  // spaces and tabs loses one layer of them per round (spaces are trimmed before tabs), and a key
  // that starts with a control character is refused by the reader.
  for (int round = 0; round < 16; ++round) {
    IniFile again(L"");
    if (!again.LoadBytes(saved)) return {};
    std::string next = again.SavedBytes();
    if (next == saved) return {};
    if (next.size() > saved.size()) return "the saved text grows when read back";
    saved = std::move(next);
  }
  return "the saved text keeps changing when read back";
}

TEST(IniFuzzTest, MutatedFilesNeitherCrashNorHangAndReadBackAsWritten) {
  testsupport::TempDir dir("sonaclip-ini-fuzz");
  const std::vector<std::string> seeds = Seeds();
  std::mt19937 random(20261208);
  int loaded = 0;
  std::string failure;

  testing::internal::CaptureStdout();  // the reader's "Failing on char" lines
  for (int i = 0; i < kMutants && failure.empty(); ++i) {
    const std::string mutant = Mutate(seeds[random() % seeds.size()], random);
    bool ok = false;
    failure = RunMutant(i, mutant, dir, &ok);
    if (!failure.empty()) {
      failure = "mutant " + std::to_string(i) + ": " + failure + "\n" +
                ::testing::PrintToString(mutant);
    }
    loaded += ok;
  }
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(failure, "");
  // The sweep must reach both outcomes, or the mutations are not doing their work.
  EXPECT_GT(loaded, kMutants / 10);
  EXPECT_LT(loaded, kMutants);
}

}  // namespace
}  // namespace config
