#include "engine/part_file.h"

#include <gtest/gtest.h>

#include "tests/engine/ring_fixtures.h"
#include "tests/support/param_name.h"

// Beside PartFile, where the printer looks for it.
void PrintTo(PartFile::Kind kind, std::ostream* out) {
  *out << (kind == PartFile::Kind::kUnnamed ? "unnamed" : "hidden");
}

namespace {

using ringtest::TempDir;

class PartFileTest : public ::testing::TestWithParam<PartFile::Kind> {};

TEST_P(PartFileTest, OnlyACommitReplacesTheRing) {
  TempDir dir;
  ringtest::WriteAll(dir / "ring.mp3", "old");
  {
    PartFile part;
    ASSERT_TRUE(part.Create(dir / "ring.mp3", GetParam()));
    EXPECT_EQ(part.kind(), GetParam()) << "this file system has unnamed files";
    ringtest::WriteAll(part.WritePath(), "new ring");
    if (GetParam() == PartFile::Kind::kUnnamed) {
      EXPECT_EQ(dir.Files(), std::vector<std::string>{"ring.mp3"}) << "nothing named while written";
    }
    ASSERT_TRUE(part.Commit());
  }
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "new ring");

  for (bool destroyOnly : {false, true}) {
    PartFile part;
    ASSERT_TRUE(part.Create(dir / "ring.mp3", GetParam()));
    ringtest::WriteAll(part.WritePath(), "half a ring");
    if (!destroyOnly) part.Discard();
  }
  EXPECT_EQ(ringtest::ReadAll(dir / "ring.mp3"), "new ring");
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"ring.mp3"});

  // A folder that cannot take the ring: refused at once or at the commit, never half done.
  PartFile part;
  ringtest::WriteAll(dir / "file", "x");
  EXPECT_FALSE(part.Create(dir / "file" / "ring.mp3", GetParam()) && part.Commit());
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"file", "ring.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PartFileTest,
                         ::testing::Values(PartFile::Kind::kUnnamed, PartFile::Kind::kHidden),
                         testsupport::PrintedParamName());

}  // namespace
