// The hand-off record later starts read to find the running window.

#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/shared_window_slot.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(SharedWindowSlotTest, AnotherOpenerReadsThePublishedHandleAsLittleEndian32Bits) {
  testsupport::TempDir folder("sonaclip-slot-test");
  const std::string name = (folder / "TaVioSonaclipMapFileName").string();
  auto running = SharedWindowSlot::Create(name, true);
  ASSERT_NE(running->view, nullptr);
  EXPECT_EQ(SharedWindowSlot::Read(running.get()), 0u) << "a fresh block reads as no window";

  auto later = SharedWindowSlot::Create(name, false);
  ASSERT_NE(later->view, nullptr);
  EXPECT_TRUE(SharedWindowSlot::Publish(running.get(), 0x12345678u));
  EXPECT_EQ(SharedWindowSlot::Read(later.get()), 0x12345678u);
  unsigned char bytes[4];
  std::memcpy(bytes, later->view, 4);
  EXPECT_EQ(bytes[0], 0x78);
  EXPECT_EQ(bytes[3], 0x12);

  // The later start's holder going away leaves the running instance's record alone...
  later.reset();
  EXPECT_EQ(SharedWindowSlot::Read(running.get()), 0x12345678u);
  // ...and once the running instance is gone, a new start finds no stale handle.
  running.reset();
  auto next = SharedWindowSlot::Create(name, true);
  EXPECT_EQ(SharedWindowSlot::Read(next.get()), 0u);
}

// A killed instance removes nothing: the next running instance finds its handle in the block and
// must not let later starts knock at a window that is gone.
TEST(SharedWindowSlotTest, TheRunningInstanceClearsWhatAKilledOneLeft) {
  testsupport::TempDir folder("sonaclip-slot-test");
  const std::string name = (folder / "TaVioSonaclipMapFileName").string();
  {
    auto killed = SharedWindowSlot::Create(name, false);
    ASSERT_TRUE(SharedWindowSlot::Publish(killed.get(), 0x10010u));
  }
  auto later = SharedWindowSlot::Create(name, false);
  EXPECT_EQ(SharedWindowSlot::Read(later.get()), 0x10010u) << "a later start reads, never clears";
  auto running = SharedWindowSlot::Create(name, true);
  EXPECT_EQ(SharedWindowSlot::Read(running.get()), 0u);
  EXPECT_EQ(SharedWindowSlot::Read(later.get()), 0u);
}

TEST(SharedWindowSlotTest, AnUnusableNameLeavesNothingToPublishOrRead) {
  auto holder = SharedWindowSlot::Create("/no/such/namespace", false);
  EXPECT_EQ(holder->view, nullptr);
  EXPECT_FALSE(SharedWindowSlot::Publish(holder.get(), 7));
  EXPECT_EQ(SharedWindowSlot::Read(holder.get()), 0u);
  EXPECT_FALSE(SharedWindowSlot::Publish(nullptr, 7));
}

}  // namespace
