#include <gtest/gtest.h>

#include "pedigree_file/pedigree_reader.h"
#include "test_support.h"

using test_support::familiesFromText;

TEST(Reader, EmptyLineEndsTheInput) {
  EXPECT_TRUE(familiesFromText("\n1 1 0 0 1 0 0 1 2\n").empty());
  auto families = familiesFromText(
      "1 1 0 0 1 0 0 1 2 3 4\n1 2 0 0 2 0 0 1 1 2 2\n\n1 3 1 2 1 0 0 1 1 2 2\n2 1 0 0 1 0 0 5 5 5 5\n");
  ASSERT_EQ(families.size(), 1u);
  EXPECT_EQ(families[0]->members.size(), 2u);
  EXPECT_EQ(families[0]->locusCount, 2);
}

TEST(Reader, DelimiterRunsAndCarriageReturnsGiveTheSameRecords) {
  auto plain = familiesFromText("1 4 2 3 1 0 0 1 2 3 4\n");
  auto mixed = familiesFromText(",\t1,, 4\t\t2 ,3 1 0\t0 1,2 3 4 ,\t\r\n");
  ASSERT_EQ(mixed.size(), 1u);
  const Member& a = plain[0]->member(4);
  const Member& b = mixed[0]->member(4);
  EXPECT_EQ(b.fatherId, a.fatherId);
  EXPECT_EQ(b.motherId, a.motherId);
  ASSERT_EQ(b.genotypes.size(), 2u);
  EXPECT_EQ(b.genotypes[1].allele2, 4);
}

TEST(Reader, OddTrailingAlleleIsIgnoredAndSourcesDependOnFounderStatus) {
  auto families = familiesFromText("1 1 0 0 1 0 0 1 2 1 2 1 2 1 2 9\n1 2 1 0 2 0 0 1 2\n");
  const Member& founder = families[0]->member(1);
  EXPECT_EQ(founder.genotypes.size(), 4u);
  EXPECT_EQ(founder.genotypes[0].paternalSource, 0);
  EXPECT_EQ(founder.genotypes[0].maternalSource, 0);
  EXPECT_EQ(families[0]->member(2).genotypes[0].paternalSource, -1);
  EXPECT_EQ(families[0]->locusCount, 1);  // the family's last line decides
}

TEST(Reader, FamilyIdThatComesBackStartsASeparateFamily) {
  auto families = familiesFromText("5 1 0 0 1 0 0\n6 1 0 0 1 0 0\n5 1 0 0 1 0 0\n5 2 0 0 2 0 0\n");
  ASSERT_EQ(families.size(), 3u);
  EXPECT_EQ(families[2]->familyId, 5);
  EXPECT_EQ(families[2]->members.size(), 2u);
  EXPECT_EQ(families[2]->member(2).seqIndex, 1);  // positions restart with every family
}

TEST(Reader, MinusOneIsAnOrdinaryFamilyId) {
  auto families = familiesFromText("-1 1 0 0 1 0 0\n-1 2 0 0 2 0 0\n3 1 0 0 1 0 0\n");
  ASSERT_EQ(families.size(), 2u);
  EXPECT_EQ(families[0]->familyId, -1);
  EXPECT_EQ(families[0]->members.size(), 2u);
}

TEST(Reader, RepeatedMemberIdKeepsTheLaterLine) {
  testing::internal::CaptureStderr();
  auto families = familiesFromText("1 1 0 0 1 0 0 1 1\n1 1 0 0 2 0 0 2 2\n");
  std::string warning = testing::internal::GetCapturedStderr();
  const Member& m = families[0]->member(1);
  EXPECT_EQ(m.sex, 2);
  EXPECT_EQ(m.seqIndex, 1);
  EXPECT_NE(warning.find("line 2"), std::string::npos);
  EXPECT_NE(warning.find("member 1 appears again"), std::string::npos);
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
  // A family id that is not a number joins the current family.
  testing::internal::CaptureStderr();
  auto joined = familiesFromText("4 1 0 0 1 0 0\nfour 2 0 0 2 0 0\n");
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_EQ(joined[0]->members.size(), 2u);
}

TEST(Reader, FileSourceReadsAcrossChunksAndLastLineWithoutFeed) {
  std::string dir = test_support::makeTempDir();
  std::string text;
  for (int member = 1; member <= 400; ++member) {
    text += "1 " + std::to_string(member) + " 0 0 1 0 0";
    for (int i = 0; i < 2000; ++i) text += " 1 2";
    text += "\n";
  }
  text += "2 1 0 0 1 0 0 3 4";  // no final line feed
  test_support::writeFile(dir + "/big.txt", text);
  std::FILE* file = std::fopen((dir + "/big.txt").c_str(), "r");
  LineSource source(file);
  PedigreeReader reader(source, "big.txt");
  ReadFamily first = reader.nextFamily();
  ReadFamily second = reader.nextFamily();
  ReadFamily none = reader.nextFamily();
  std::fclose(file);
  ASSERT_NE(first.family, nullptr);
  EXPECT_EQ(first.family->members.size(), 400u);
  EXPECT_EQ(first.family->member(400).genotypes.size(), 2000u);
  ASSERT_NE(second.family, nullptr);
  EXPECT_EQ(second.firstLine, 401);
  EXPECT_EQ(second.family->member(1).genotypes[0].allele2, 4);
  EXPECT_EQ(none.family, nullptr);
}

TEST(Reader, FileLineLongerThanTheReadBufferAndCarriageReturns) {
  std::string dir = test_support::makeTempDir();
  std::string text = "7 1 0 0 1 0 0";
  for (int i = 0; i < 400000; ++i) text += " 10 2";  // about 2 MB on one line
  text += "\r\n7 2 0 0 2 0 0 3 4\r\r\n\r\n8 1 0 0 1 0 0 1 1\n";
  test_support::writeFile(dir + "/long.txt", text);
  std::FILE* file = std::fopen((dir + "/long.txt").c_str(), "r");
  LineSource source(file);
  PedigreeReader reader(source, "long.txt");
  ReadFamily first = reader.nextFamily();
  ReadFamily none = reader.nextFamily();  // "\r\n" is an empty line: the input ends
  std::fclose(file);
  ASSERT_NE(first.family, nullptr);
  const Member& longMember = first.family->member(1);
  ASSERT_EQ(longMember.genotypes.size(), 400000u);
  EXPECT_EQ(longMember.genotypes.back().allele1, 10);
  EXPECT_EQ(longMember.genotypes.back().allele2, 2);
  // Only one carriage return is taken off: the other ends the last field.
  EXPECT_EQ(first.family->member(2).genotypes[0].allele2, 4);
  EXPECT_EQ(none.family, nullptr);
}

TEST(Reader, LeadingIntConversion) {
  int value = 42;
  EXPECT_TRUE(parseLeadingInt("-17abc", value));
  EXPECT_EQ(value, -17);
  EXPECT_TRUE(parseLeadingInt("+3", value));
  EXPECT_EQ(value, 3);
  EXPECT_FALSE(parseLeadingInt("-", value));
  EXPECT_FALSE(parseLeadingInt("x1", value));
  EXPECT_FALSE(parseLeadingInt("99999999999", value));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(parseLeadingInt("-2147483648", value));
  EXPECT_EQ(value, -2147483648);
  EXPECT_FALSE(parseLeadingInt("-2147483649", value));
  EXPECT_FALSE(parseLeadingInt("2147483648", value));
  EXPECT_FALSE(parseLeadingInt("+-1", value));
  EXPECT_FALSE(parseLeadingInt("", value));
  EXPECT_EQ(value, -2147483648);
  EXPECT_TRUE(parseLeadingInt("+2147483647", value));
  EXPECT_EQ(value, 2147483647);
  EXPECT_TRUE(parseLeadingInt("\r\v-0000000000000000012;", value));  // "%d" skips these
  EXPECT_EQ(value, -12);
}

TEST(Reader, AlleleFieldsOfEveryLengthAndShape) {
  // Nine digits convert on the fast path, ten and more on the general one;
  // anything after the number's digits is ignored.
  testing::internal::CaptureStderr();
  using namespace std::string_literals;
  auto families = familiesFromText(
      "1 1 0 0 1 0 0 123456789 1234567890 2147483647 2147483648 7x -3 +4 \0 5 \r6 8\r 99999999999999999999 9"s);
  std::string warnings = testing::internal::GetCapturedStderr();
  const std::vector<LocusGenotype>& g = families[0]->member(1).genotypes;
  ASSERT_EQ(g.size(), 6u);
  EXPECT_EQ(g[0].allele1, 123456789);
  EXPECT_EQ(g[0].allele2, 1234567890);
  EXPECT_EQ(g[1].allele1, 2147483647);
  EXPECT_EQ(g[1].allele2, 1234567890);  // too large: the previous pair's value stays
  EXPECT_EQ(g[2].allele1, 7);
  EXPECT_EQ(g[2].allele2, -3);
  EXPECT_EQ(g[3].allele1, 4);
  EXPECT_EQ(g[3].allele2, -3);
  EXPECT_EQ(g[4].allele1, 5);
  EXPECT_EQ(g[4].allele2, 6);
  EXPECT_EQ(g[5].allele1, 8);
  EXPECT_EQ(g[5].allele2, 6);
  EXPECT_NE(warnings.find("field 11 '2147483648'"), std::string::npos);
  EXPECT_NE(warnings.find("field 15 '\\x00'"), std::string::npos);  // a NUL byte, escaped
  EXPECT_NE(warnings.find("field 19 '99999999999999999999'"), std::string::npos);
}
