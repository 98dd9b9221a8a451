#include "engine/cut_plan.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

namespace {

using cutplan::PlanCut;

TEST(CutPlanTest, JobIsTheSectionInWholeFramesPlusOneFrame) {
  // 44100 Hz 16-bit stereo: 176400 bytes a second, 4 bytes a frame.
  auto plan = PlanCut(16, 2, 44100, 1000, 2000, 0, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->blockAlign, 4);
  EXPECT_EQ(plan->bytesPerSecond, 176400);
  EXPECT_EQ(plan->sectionBytes, 176400);
  // Already whole frames: still one more frame.
  EXPECT_EQ(plan->jobBytes, 176404);

  // 24-bit stereo at 44100 Hz, 1 ms: 264.6 bytes rounds to 265, 44 whole frames of 6, plus one.
  plan = PlanCut(24, 2, 44100, 0, 1, 0, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->sectionBytes, 265);
  EXPECT_EQ(plan->jobBytes, 45 * 6);

  // 8-bit mono at 11025 Hz, 3 ms: 33.075 -> 33 bytes -> 34.
  plan = PlanCut(8, 1, 11025, 500, 503, 0, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->jobBytes, 34);
}

TEST(CutPlanTest, RefusesFormatsAndSectionsWithoutBytes) {
  EXPECT_FALSE(PlanCut(0, 2, 44100, 0, 1000, 0, 0));     // no sample width
  EXPECT_FALSE(PlanCut(16, 0, 44100, 0, 1000, 0, 0));    // no channels
  EXPECT_FALSE(PlanCut(16, 2, 0, 0, 1000, 0, 0));        // no rate
  EXPECT_FALSE(PlanCut(4, 1, 44100, 0, 1000, 0, 0));     // a frame narrower than a byte
  EXPECT_FALSE(PlanCut(16, 2, 44100, 2000, 2000, 0, 0)); // empty section
  EXPECT_FALSE(PlanCut(16, 2, 44100, 3000, 2000, 0, 0)); // reversed section
  // A section too short for even half a byte.
  EXPECT_FALSE(PlanCut(8, 1, 100, 0, 1, 0, 0));
  // A section whose byte count passes 32 bits is refused, not wrapped.
  EXPECT_FALSE(PlanCut(32, 2, 192000, 0, 2000000000, 0, 0));
}

TEST(CutPlanTest, FadesThatDoNotFitBecomeHalfTheSectionEach) {
  auto plan = PlanCut(16, 2, 44100, 0, 3000, 2000, 2000);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->fadeInMs, 1500);
  EXPECT_EQ(plan->fadeOutMs, 1500);

  // Fitting exactly is left alone, even one fade as long as the whole section.
  plan = PlanCut(16, 2, 44100, 0, 3000, 3000, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->fadeInMs, 3000);
  EXPECT_EQ(plan->fadeOutMs, 0);

  // One fade too long alone halves both, the one that was off included.
  plan = PlanCut(16, 2, 44100, 1000, 2001, 5000, 0);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->fadeInMs, 500);
  EXPECT_EQ(plan->fadeOutMs, 500);

  // A sum past int32 must not wrap into "fits".
  int32_t in = 2000000000, out = 2000000000;
  cutplan::FitFades(1000, in, out);
  EXPECT_EQ(in, 500);
  EXPECT_EQ(out, 500);
}

TEST(CutPlanTest, MulDivRoundsToNearestLikeWin32) {
  EXPECT_EQ(cutplan::MulDiv(1, 1, 2), 1);
  EXPECT_EQ(cutplan::MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(cutplan::MulDiv(7, 1, 3), 2);
  EXPECT_EQ(cutplan::MulDiv(30000, 176400, 1000), 5292000);  // needs the 64-bit intermediate
  EXPECT_EQ(cutplan::MulDiv(5, 5, 0), -1);
}

TEST(CutPlanTest, WindowRulesForFadesAndVolume) {
  EXPECT_EQ(cutplan::FadeMs(false, 2000), 0);
  EXPECT_EQ(cutplan::FadeMs(true, 50), 200);
  EXPECT_EQ(cutplan::FadeMs(true, 0), 200);  // an edit that is not a number gave 0
  EXPECT_EQ(cutplan::FadeMs(true, 2500), 2500);

  const int32_t expected[] = {10000, 15000, 20000, 25000, 30000};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(cutplan::VolumeFromIndex(i), expected[i]) << i;
  EXPECT_EQ(cutplan::VolumeFromIndex(-1), 10000);  // no item chosen never lowers the level

  EXPECT_EQ(cutplan::VolumeFromMultiplier(1.5), 15000);
  EXPECT_EQ(cutplan::VolumeFromMultiplier(2.3), 23000);
  EXPECT_EQ(cutplan::VolumeFromMultiplier(3.0), 30000);
  EXPECT_FALSE(cutplan::VolumeFromMultiplier(0.5));
  EXPECT_FALSE(cutplan::VolumeFromMultiplier(3.01));
  EXPECT_FALSE(cutplan::VolumeFromMultiplier(std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace
