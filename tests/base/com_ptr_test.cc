// The reference holder of the plug-in objects, against a tiny object that counts its references
// and its destruction as a plug-in object does (the last Release destroys it).
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "base/com_ptr.h"

namespace {

class Counted {
 public:
  // Starts with the one reference its creator hands on, as the plug-ins' exports do.
  explicit Counted(int* destroyed) : destroyed(destroyed) {}
  std::uint32_t AddRef() { return ++references; }
  std::uint32_t Release() {
    const std::uint32_t left = --references;
    if (left == 0) delete this;
    return left;
  }
  std::uint32_t references = 1;

 private:
  ~Counted() { ++*destroyed; }
  int* destroyed;
};

using Holder = base::ComPtr<Counted>;

TEST(ComPtrTest, AdoptShareCopyAndMoveCountReferences) {
  int destroyed = 0;
  {
    Holder first = Holder::Adopt(new Counted(&destroyed));
    Counted* object = first.Get();
    EXPECT_EQ(object->references, 1u);  // adopting takes no reference

    Holder copy = first;
    EXPECT_EQ(object->references, 2u);
    Holder shared = Holder::Share(object);
    EXPECT_EQ(object->references, 3u);

    Holder moved = std::move(copy);
    EXPECT_EQ(object->references, 3u);  // a move hands the reference over
    EXPECT_FALSE(copy);
    EXPECT_TRUE(moved == first);

    moved = moved;  // self-assignment keeps the one reference it had
    moved = std::move(moved);
    EXPECT_EQ(object->references, 3u);

    shared.Reset();
    EXPECT_EQ(object->references, 2u);
    shared = nullptr;  // already empty: nothing to release
    EXPECT_EQ(object->references, 2u);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);  // the last holder to go destroyed it, once
}

TEST(ComPtrTest, AssigningReleasesTheOldObjectOnlyAfterTakingTheNew) {
  int destroyedA = 0, destroyedB = 0;
  Holder a = Holder::Adopt(new Counted(&destroyedA));
  Holder b = Holder::Adopt(new Counted(&destroyedB));
  a = b;
  EXPECT_EQ(destroyedA, 1);
  EXPECT_EQ(b->references, 2u);
  b = std::move(a);  // b held the same object: one reference goes
  EXPECT_EQ(b->references, 1u);
  EXPECT_EQ(destroyedB, 0);
  b.Reset();
  EXPECT_EQ(destroyedB, 1);
}

// A factory in the shape of the plug-ins' exports: one new reference through an out-parameter.
int CreateCounted(int* destroyed, Counted** out) {
  *out = new Counted(destroyed);
  return 0;
}

TEST(ComPtrTest, OutParameterAdoptsAndDetachHandsTheReferenceOn) {
  int destroyed = 0;
  Holder holder = Holder::Adopt(new Counted(&destroyed));
  // Filling the holder again releases what it held first.
  ASSERT_EQ(CreateCounted(&destroyed, holder.GetAddressOf()), 0);
  EXPECT_EQ(destroyed, 1);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->references, 1u);

  Counted* handedOn = holder.Detach();
  EXPECT_FALSE(holder);
  EXPECT_EQ(handedOn->references, 1u);
  EXPECT_EQ(destroyed, 1);
  Holder again;
  again.Attach(handedOn);
  again.Reset();
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
