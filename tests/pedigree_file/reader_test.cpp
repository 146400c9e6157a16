#include <gtest/gtest.h>

#include "pedigree_file/pedigree_reader.h"
#include "test_support.h"

using test_support::familiesFromText;

// How lines group into families: (family id, member count) per family read.
TEST(Reader, LinesGroupIntoFamilies) {
  const struct {
    const char* text;
    std::vector<std::pair<int, int>> families;
  } cases[] = {
      {"\n1 1 0 0 1 0 0 1 2\n", {}},  // an empty line ends the input
      {"1 1 0 0 1 0 0 1 2 3 4\n1 2 0 0 2 0 0 1 1 2 2\n\n1 3 1 2 1 0 0 1 1 2 2\n", {{1, 2}}},
      {"5 1 0 0 1 0 0\n6 1 0 0 1 0 0\n5 1 0 0 1 0 0\n5 2 0 0 2 0 0\n", {{5, 1}, {6, 1}, {5, 2}}},
      {"-1 1 0 0 1 0 0\n-1 2 0 0 2 0 0\n3 1 0 0 1 0 0\n", {{-1, 2}, {3, 1}}},
      {"4 1 0 0 1 0 0\nfour 2 0 0 2 0 0\n", {{4, 2}}},  // a non-numeric family id joins the current one
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    auto families = familiesFromText(c.text);
    testing::internal::GetCapturedStderr();
    std::vector<std::pair<int, int>> read;
    for (const auto& f : families) read.emplace_back(f->familyId, static_cast<int>(f->members.size()));
    EXPECT_EQ(read, c.families) << c.text;
  }
  auto families = familiesFromText("5 1 0 0 1 0 0\n6 1 0 0 1 0 0\n5 1 0 0 1 0 0\n5 2 0 0 2 0 0\n");
  EXPECT_EQ(families[2]->member(2).seqIndex, 1);  // positions restart with every family
}

TEST(Reader, FieldsDelimitersAndSources) {
  auto mixed = familiesFromText(",\t1,, 4\t\t2 ,3 1 0\t0 1,2 3 4 ,\t\r\n");
  ASSERT_EQ(mixed.size(), 1u);
  const Member& b = mixed[0]->member(4);
  EXPECT_EQ(std::make_pair(b.fatherId, b.motherId), std::make_pair(2, 3));
  ASSERT_EQ(b.genotypes.size(), 2u);
  EXPECT_EQ(b.genotypes[1].allele2, 4);
  // An odd trailing allele is ignored; the family's last line sets the locus
  // count; founders' sources are 0, others' unknown.
  auto families = familiesFromText("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 9\n1 2 1 0 2 0 0 1 2\n");
  const Member& founder = families[0]->member(1);
  EXPECT_EQ(founder.genotypes.size(), 4u);
  EXPECT_EQ(std::make_pair(founder.genotypes[0].paternalSource, founder.genotypes[0].maternalSource),
            std::make_pair(0, 0));
  EXPECT_EQ(families[0]->member(2).genotypes[0].paternalSource, -1);
  EXPECT_EQ(families[0]->locusCount, 1);
  // A repeated member id keeps the later line.
  testing::internal::CaptureStderr();
  families = familiesFromText("1 1 0 0 1 0 0 1 1\n1 1 0 0 2 0 0 2 2\n");
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_NE(warning.find("line 2"), std::string::npos);
  EXPECT_NE(warning.find("member 1 appears again"), std::string::npos);
  EXPECT_EQ(families[0]->member(1).sex, 2);
  EXPECT_EQ(families[0]->member(1).seqIndex, 1);
}

TEST(Reader, FieldsThatAreNotNumbersLeaveTheirDestinationUnchanged) {
  testing::internal::CaptureStderr();
  auto families = familiesFromText("1 1 0 0 1 0 0 4 5\n1 x y 0 z 0 0 7 8 q 9 3x 2\n");
  std::string warnings = testing::internal::GetCapturedStderr();
  const Member& m = families[0]->member(2);  // member id stays its position, 2
  EXPECT_EQ(m.fatherId, 0);
  EXPECT_EQ(m.sex, 0);
  ASSERT_EQ(m.genotypes.size(), 3u);
  EXPECT_EQ(m.genotypes[1].allele1, 7);  // the previous pair's allele1
  EXPECT_EQ(m.genotypes[1].allele2, 9);
  EXPECT_EQ(m.genotypes[2].allele1, 3);  // "3x" reads as 3
  EXPECT_NE(warnings.find("line 2: field 2 'x'"), std::string::npos);
  EXPECT_NE(warnings.find("field 10 'q'"), std::string::npos);
}

// Lines across the read chunks and one longer than the read buffer, carriage
// returns, and a last line without a line feed.
TEST(Reader, FileSourceReadsLongLinesAcrossChunks) {
  std::string dir = test_support::makeTempDir();
  std::string text;
  for (int member = 1; member <= 400; ++member) {
    text += "1 " + std::to_string(member) + " 0 0 1 0 0";
    for (int i = 0; i < 2000; ++i) text += " 1 2";
    text += "\n";
  }
  text += "7 1 0 0 1 0 0";
  for (int i = 0; i < 400000; ++i) text += " 10 2";  // about 2 MB on one line
  text += "\r\n7 2 0 0 2 0 0 3 4\r\r\n2 1 0 0 1 0 0 3 4";
  for (const char* tail : {"", "\r\n\r\n8 1 0 0 1 0 0 1 1\n"}) {
    test_support::writeFile(dir + "/big.txt", text + tail);
    std::FILE* file = std::fopen((dir + "/big.txt").c_str(), "r");
    LineSource source(file);
    PedigreeReader reader(source, "big.txt");
    ReadFamily first = reader.nextFamily(), second = reader.nextFamily(), third = reader.nextFamily();
    ReadFamily none = reader.nextFamily();  // "\r\n" is an empty line: the input ends
    std::fclose(file);
    ASSERT_TRUE(first.family != nullptr && second.family != nullptr && third.family != nullptr);
    EXPECT_EQ(first.family->member(400).genotypes.size(), 2000u);
    EXPECT_EQ(second.firstLine, 401);
    ASSERT_EQ(second.family->member(1).genotypes.size(), 400000u);
    EXPECT_EQ(second.family->member(1).genotypes.back().allele1, 10);
    // Only one carriage return is taken off: the other ends the last field.
    EXPECT_EQ(second.family->member(2).genotypes[0].allele2, 4);
    EXPECT_EQ(third.family->member(1).genotypes[0].allele2, 4);
    EXPECT_EQ(none.family, nullptr);
  }
}

TEST(Reader, LeadingIntConversion) {
  const struct {
    const char* text;
    bool ok;
    int value;  // the value after the call (unchanged when refused)
  } cases[] = {{"-17abc", true, -17},
               {"+3", true, 3},
               {"-", false, 3},
               {"x1", false, 3},
               {"99999999999", false, 3},
               {"-2147483648", true, -2147483648},
               {"-2147483649", false, -2147483648},
               {"2147483648", false, -2147483648},
               {"+-1", false, -2147483648},
               {"", false, -2147483648},
               {"+2147483647", true, 2147483647},
               {"\r\v-0000000000000000012;", true, -12}};
  int value = 42;
  for (const auto& c : cases) {
    EXPECT_EQ(parseLeadingInt(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(Reader, AlleleFieldsOfEveryLengthAndShape) {
  // Nine digits convert on the fast path, ten and more on the general one;
  // anything after the number's digits is ignored; a refused field keeps the
  // previous pair's value.
  testing::internal::CaptureStderr();
  using namespace std::string_literals;
  auto families = familiesFromText(
      "1 1 0 0 1 0 0 123456789 1234567890 2147483647 2147483648 7x -3 +4 \0 5 \r6 8\r 99999999999999999999 9"s);
  std::string warnings = testing::internal::GetCapturedStderr();
  std::vector<int> alleles;
  for (const LocusGenotype& g : families[0]->member(1).genotypes)
    alleles.insert(alleles.end(), {g.allele1, g.allele2});
  EXPECT_EQ(alleles,
            (std::vector<int>{123456789, 1234567890, 2147483647, 1234567890, 7, -3, 4, -3, 5, 6, 8, 6}));
  EXPECT_NE(warnings.find("field 11 '2147483648'"), std::string::npos);
  EXPECT_NE(warnings.find("field 15 '\\x00'"), std::string::npos);  // a NUL byte, escaped
  EXPECT_NE(warnings.find("field 19 '99999999999999999999'"), std::string::npos);
}
