// Families solved on several threads (options c, l, m, i) give the same result files, standard
// output and standard error as one thread, byte for byte.
#include <gtest/gtest.h>

#include <new>
#include <random>
#include <string>
#include <thread>

#include "app/family_pool.h"
#include "family_generator.h"
#include "pedigree/process_clock.h"
#include "test_support.h"

using namespace test_support;

namespace {

// Many families of mixed shapes, some with messages of their own (untyped
// alleles, one known parent, a field that is not a number).
std::string mixedFamilies() {
  std::mt19937 rng(11);
  std::string text;
  for (int id = 1; id <= 120; ++id) {
    GeneratedFamilyOptions options;
    options.familyId = id;
    options.generations = id % 3 == 0 ? 3 : 2;
    options.halfSiblings = id % 5 == 0;
    options.loci = 4 + id % 5;
    options.alleles = 2 + id % 2;
    options.missingRate = id % 4 == 0 ? 0.1 : 0.0;
    options.recombinationRate = 0.1;
    text += generateFamilyText(options, rng);
    if (id % 17 == 0) text += std::to_string(id) + " 99 1 0 1 0 0 x 1\n";
    if (id % 40 == 0) {
      // A trio heterozygous everywhere: 4,096 configurations written by
      // options c and m, more text than a family may buffer ahead of its
      // turn, so it goes on straight into the result files.
      std::string markers;
      for (int l = 0; l < 100; ++l) markers += " 1 2";
      const std::string big = std::to_string(1000 + id);
      text += big + " 1 0 0 1 0 0" + markers + "\n" + big + " 2 0 0 2 0 0" + markers + "\n" + big +
              " 3 1 2 1 0 0" + markers + "\n";
    }
  }
  return text;
}

TEST(Threads, ResultsAndMessagesDoNotDependOnTheThreadCount) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/mix.txt", mixedFamilies());
  for (const char* option : {"-c", "-l", "-m", "-i"}) {
    std::string expected[5];
    for (const char* threads : {"1", "3"}) {
      const RunResult run = runHaplotor({option, "mix.txt"}, dir, {{"HAPLOTOR_THREADS", threads}});
      const std::string got[5] = {std::to_string(run.exitStatus) + run.standardOutput, run.standardError,
                                  readFile(dir + "/mix.dat"), maskTimes(readFile(dir + "/mix.res")),
                                  readFile(dir + "/mix.out")};
      for (int i = 0; i < 5; ++i) {
        if (threads[0] == '1') {
          expected[i] = got[i];
        } else {
          EXPECT_TRUE(got[i] == expected[i]) << option << " part " << i << " differs";
        }
      }
    }
    EXPECT_NE(expected[1].find("; family skipped"), std::string::npos) << option;
  }
}

// A family whose solving runs out of memory is reported, with the input
// and the family, and the run goes on, on one thread as on several.
TEST(Threads, RunningOutOfMemoryIsReportedForTheFamilyAndTheRunGoesOn) {
  for (int threads : {1, 2}) {
    TextSink dat, res, out;
    const ResultSinks sinks{dat, res, out};
    testing::internal::CaptureStderr();
    {
      FamilyPool pool(
          threads, "in.txt",
          [](Family& family, const ResultSinks& buffers) {
            if (family.familyId == 2) throw std::bad_alloc();
            buffers.res.put(family.familyId).put('\n');
          },
          sinks);
      for (int id = 1; id <= 3; ++id) {
        auto family = std::make_unique<Family>();
        family->familyId = id;
        pool.submit(std::move(family));
      }
      pool.finish();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Haplotor: in.txt: family 2: out of memory while solving it; nothing more is written for it\n")
        << threads;
    EXPECT_EQ(res.text(), "1\n3\n") << threads;
  }
}

// A family's time is its solving thread's processor time: work on other
// threads does not count.
TEST(Threads, TheThreadClockLeavesOutOtherThreadsWork) {
  const ClockReading threadStart = threadClockMs();
  const ClockReading processStart = processClockMs();
  // Another thread works until the process has used 200 ms; this one waits.
  std::thread busy([processStart] {
    while (processClockMs() - processStart < 200) {
    }
  });
  busy.join();
  EXPECT_GE(processClockMs() - processStart, 200);
  EXPECT_LE(threadClockMs() - threadStart, 50);
}

}  // namespace
