#include "pedigree/random_source.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(RandomSource, SequenceIsTheDocumentedLinearCongruence) {
  random_source::seed(1);
  EXPECT_EQ(random_source::next(), 16838);
  EXPECT_EQ(random_source::next(), 5758);
  EXPECT_EQ(random_source::next(), 10113);
}

TEST(RandomSource, SeedComesFromTheEnvironmentModulo2To32) {
  setenv("HAPLOTOR_SEED", "1", 1);
  random_source::seedFromEnvironment();
  EXPECT_EQ(random_source::next(), 16838);
  setenv("HAPLOTOR_SEED", "4294967297", 1);  // 2^32 + 1
  random_source::seedFromEnvironment();
  EXPECT_EQ(random_source::next(), 16838);
  setenv("HAPLOTOR_SEED", "-4294967295", 1);  // -(2^32 - 1) = 1 mod 2^32
  random_source::seedFromEnvironment();
  EXPECT_EQ(random_source::next(), 16838);
  unsetenv("HAPLOTOR_SEED");
}

TEST(RandomSource, DrawsStayInRange) {
  random_source::seed(12345);
  for (int i = 0; i < 100000; ++i) {
    int value = random_source::next();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, random_source::kMax);
  }
}
