// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/clsBinaryFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <vector>

#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::ToBytes;
using test::ReadFileBytes;
using test::SandboxDir;
using test::WriteFileBytes;

std::string Path(const char* name) { return SandboxDir() + "/" + name; }

TEST(BinaryFile, NothingOpenMeansSizeZeroAndRefusals) {
  clsBinaryFile file;
  EXPECT_EQ(file.FileSize(), 0);
  EXPECT_EQ(file.CloseFile(), 0);
  std::vector<std::uint8_t> buf(4);
  EXPECT_EQ(file.ReadData(buf, 0), -1);
  EXPECT_EQ(file.WriteSeqData(buf), -1);
}

TEST(BinaryFile, ModesDecideWhatIsAllowed) {
  WriteFileBytes(Path("f"), "0123456789");
  std::vector<std::uint8_t> buf(4);
  clsBinaryFile file;

  ASSERT_EQ(file.OpenFile(Path("f"), 0), 0);
  EXPECT_EQ(file.WriteData(ToBytes("xxxx"), 0), -1);
  EXPECT_EQ(file.ReadData(buf, 2), 0);
  EXPECT_EQ(buf, ToBytes("2345"));

  ASSERT_EQ(file.OpenFile(Path("f"), 1), 0);
  EXPECT_EQ(file.ReadData(buf, 0), -1);

  ASSERT_EQ(file.OpenFile(Path("f"), 2), 0);
  EXPECT_EQ(file.FileSize(), 10);
  EXPECT_EQ(file.ReadData(buf, 0), -1);
  EXPECT_EQ(file.WriteData(buf, 0), -1);
  EXPECT_EQ(file.ReadSeqData(buf), -1);
  EXPECT_EQ(file.WriteSeqData(buf), -1);
  EXPECT_EQ(ReadFileBytes(Path("f")), "0123456789");
}

TEST(BinaryFile, OpeningForReadingNeedsTheFileWritingCreatesIt) {
  clsBinaryFile file;
  EXPECT_EQ(file.OpenFile(Path("missing"), 0), 53);
  EXPECT_EQ(file.FileSize(), 0);
  EXPECT_EQ(file.Path(), Path("missing")) << "path is recorded before the open";
  std::vector<std::uint8_t> buf(1);
  EXPECT_EQ(file.ReadData(buf, 0), -1);

  ASSERT_EQ(file.OpenFile(Path("new"), 1), 0);
  EXPECT_TRUE(fs::exists(Path("new")));
  EXPECT_EQ(file.FileSize(), 0);
  EXPECT_EQ(file.CloseFile(), 0);
  EXPECT_EQ(file.Path(), "");

  EXPECT_EQ(file.OpenFile(SandboxDir(), 0), 75) << "a folder is not a file";
  EXPECT_EQ(file.OpenFile(Path("no/such/dir/file"), 1), 53);
}

TEST(BinaryFile, WritingNeverTruncatesOrShifts) {
  clsBinaryFile file;
  ASSERT_EQ(file.OpenFile(Path("gap"), 1), 0);
  ASSERT_EQ(file.WriteData(ToBytes("abcd"), 10), 0);
  EXPECT_EQ(file.FileSize(), 14);
  file.CloseFile();
  EXPECT_EQ(ReadFileBytes(Path("gap")), std::string(10, '\0') + "abcd");

  WriteFileBytes(Path("big"), std::string(1000, 'o'));
  ASSERT_EQ(file.OpenFile(Path("big"), 1), 0);
  ASSERT_EQ(file.WriteData(std::vector<std::uint8_t>(100, 'n'), 0), 0);
  file.CloseFile();
  EXPECT_EQ(ReadFileBytes(Path("big")), std::string(100, 'n') + std::string(900, 'o'));
}

TEST(BinaryFile, OnePositionSharedBySequentialAndPositionedTransfers) {
  std::string content;
  for (int i = 0; i < 64; ++i) content.push_back(static_cast<char>(i));
  WriteFileBytes(Path("seq"), content);
  clsBinaryFile file;
  ASSERT_EQ(file.OpenFile(Path("seq"), 0), 0);
  std::vector<std::uint8_t> first(3), sixteen(16), four(4);
  ASSERT_EQ(file.ReadSeqData(first), 0);
  EXPECT_EQ(first, (std::vector<std::uint8_t> {0, 1, 2}));
  ASSERT_EQ(file.ReadData(sixteen, 0), 0);
  ASSERT_EQ(file.ReadSeqData(four), 0);
  EXPECT_EQ(four, (std::vector<std::uint8_t> {16, 17, 18, 19}));

  ASSERT_EQ(file.OpenFile(Path("seqw"), 1), 0);
  ASSERT_EQ(file.WriteSeqData(ToBytes("AB")), 0);
  ASSERT_EQ(file.WriteData(ToBytes("xyz"), 5), 0);
  ASSERT_EQ(file.WriteSeqData(ToBytes("!")), 0);
  file.CloseFile();
  EXPECT_EQ(ReadFileBytes(Path("seqw")), std::string("AB\0\0\0xyz!", 9));
}

TEST(BinaryFile, ReadingPastTheEndIsInputPastEndOfFile) {
  WriteFileBytes(Path("short"), "abcdef");
  clsBinaryFile file;
  ASSERT_EQ(file.OpenFile(Path("short"), 0), 0);
  std::vector<std::uint8_t> buf(4);
  EXPECT_EQ(file.ReadData(buf, 4), 62);
  EXPECT_EQ(file.ReadData(buf, 6), 62);
  EXPECT_EQ(file.ReadData(buf, 2), 0);
  EXPECT_EQ(file.ReadSeqData(buf), 62);
  std::vector<std::uint8_t> none;
  EXPECT_EQ(file.ReadData(none, 6), 0);
}

TEST(BinaryFile, PositionsBeyondThirtyTwoBitsOverflow) {
  clsBinaryFile file;
  ASSERT_EQ(file.OpenFile(Path("ovf"), 1), 0);
  const std::int32_t max = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(file.WriteData(ToBytes("a"), max), 6);
  EXPECT_EQ(file.WriteData(ToBytes("ab"), max - 1), 6);
  EXPECT_EQ(file.WriteData(ToBytes("a"), -1), 63);
  EXPECT_EQ(file.FileSize(), 0) << "nothing was written";
}

TEST(BinaryFile, FileSizeSeesTwoGigabytesAndMore) {
  clsBinaryFile file;
  ASSERT_EQ(file.OpenFile(Path("sparse"), 1), 0);
  file.CloseFile();
  fs::resize_file(Path("sparse"), 3LL << 30);  // sparse: takes no space
  ASSERT_EQ(file.OpenFile(Path("sparse"), 0), 0);
  EXPECT_EQ(file.FileSize(), 3LL << 30);
}

TEST(BinaryFile, ReopeningClosesTheFirstFile) {
  WriteFileBytes(Path("one"), "1111");
  WriteFileBytes(Path("two"), "22");
  clsBinaryFile file;
  ASSERT_EQ(file.OpenFile(Path("one"), 0), 0);
  ASSERT_EQ(file.OpenFile(Path("two"), 1), 0);
  EXPECT_EQ(file.FileSize(), 2);
  ASSERT_EQ(file.WriteSeqData(ToBytes("ab")), 0);
  EXPECT_EQ(file.OpenFile(Path("three-missing"), 0), 53);
  EXPECT_EQ(file.FileSize(), 0);
  EXPECT_EQ(ReadFileBytes(Path("two")), "ab");
}

}  // namespace
}  // namespace sealvane
