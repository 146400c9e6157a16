#include <gtest/gtest.h>

#include "pedigree/pedigree.h"
#include "test_support.h"

TEST(Records, HasNoHeterozygousLocus) {
  auto family = test_support::preparedFamily("1 1 0 0 1 0 0 1 2 0 0 3 3\n");
  const Member& m = family->member(1);
  EXPECT_TRUE(m.hasNoHeterozygousLocus(0));
  EXPECT_FALSE(m.hasNoHeterozygousLocus(1));
  EXPECT_FALSE(m.hasNoHeterozygousLocus(3));
}
