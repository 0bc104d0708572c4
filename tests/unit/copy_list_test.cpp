#include "engine/copy_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace orvik {
namespace {

// The copy list's bytes, handed out in reads of at most `block` bytes.
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::string bytes, std::size_t block = 4096)
      : bytes_(std::move(bytes)), block_(block) {}
  void FailReadsFrom(std::size_t offset) { fail_from_ = offset; }

  std::int64_t Read(char* buffer, std::size_t size) override {
    if (at_ >= fail_from_) return kReadError;
    const std::size_t take = std::min({size, block_, bytes_.size() - at_});
    std::memcpy(buffer, bytes_.data() + at_, take);
    at_ += take;
    return static_cast<std::int64_t>(take);
  }
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }

 private:
  std::string bytes_;
  std::size_t block_;
  std::size_t at_ = 0;
  std::size_t fail_from_ = static_cast<std::size_t>(-1);
};

CopyListStatus Parse(const std::string& bytes, CopyList& list) {
  MemoryFile file(bytes);
  return ParseCopyList(file, list);
}

#define EXPECT_STATUS(expected, actual) \
  EXPECT_EQ(CopyListStatusName(expected), CopyListStatusName(actual))

TEST(CopyList, EntriesWithMarksNamesAndLineNumbers) {
  CopyList list;
  EXPECT_STATUS(CopyListStatus::kOk,
                Parse("3 0 anything\r\n"
                      "\\setup.txt\r\n"
                      "$  \\prog\\factory.mar\tignored words\r\n"
                      "\t:\\extra\\x.dat\n"
                      "\\after\\the\\count.dat\n",
                      list));
  EXPECT_EQ(3, list.entry_count);
  ASSERT_EQ(3u, list.entries.size());
  EXPECT_FALSE(list.entries[0].keep_existing);
  EXPECT_EQ("\\setup.txt", list.entries[0].name);
  EXPECT_EQ(2u, list.entries[0].line_number);
  EXPECT_TRUE(list.entries[1].keep_existing);
  EXPECT_EQ("\\prog\\factory.mar", list.entries[1].name);
  EXPECT_EQ(":\\extra\\x.dat", list.entries[2].name);
  EXPECT_EQ(4u, list.entries[2].line_number);
}

TEST(CopyList, KeepExistingMarkCountsOnlyInFirstPlace) {
  CopyList list;
  EXPECT_STATUS(CopyListStatus::kOk, Parse("2\n $\\a.dat\n\\b$.dat\n", list));
  EXPECT_FALSE(list.entries[0].keep_existing);
  EXPECT_EQ("$\\a.dat", list.entries[0].name);
  EXPECT_FALSE(list.entries[1].keep_existing);
  EXPECT_EQ("\\b$.dat", list.entries[1].name);
}

TEST(CopyList, HeaderForms) {
  CopyList list;
  EXPECT_STATUS(CopyListStatus::kOk, Parse(" \t+1 7\n\\a\n", list));
  EXPECT_EQ(1, list.entry_count);
  EXPECT_STATUS(CopyListStatus::kOk, Parse("1\n\\a\n", list))
      << "the second number is not needed";
  EXPECT_STATUS(CopyListStatus::kOk, Parse("0 0\n", list));
  EXPECT_TRUE(list.entries.empty());
  EXPECT_STATUS(CopyListStatus::kOk, Parse("-4 0\n", list));
  EXPECT_EQ(-4, list.entry_count);
  EXPECT_TRUE(list.entries.empty());
  EXPECT_STATUS(CopyListStatus::kOk, Parse("2x\n\\a\n\\b", list))
      << "a last line without line end";
  EXPECT_EQ(2u, list.entries.size());
}

TEST(CopyList, HeaderWithoutLeadingNumberIsRefused) {
  CopyList list;
  for (const char* header : {"", "\n", "   \r\n", "x 3\n", "- 3\n", "$3\n"}) {
    EXPECT_STATUS(CopyListStatus::kBadHeader,
                  Parse(std::string(header) + "\\a\n\\b\n\\c\n", list))
        << "header '" << header << "'";
  }
  EXPECT_STATUS(CopyListStatus::kBadHeader,
                Parse(std::string("\0" "3\n\\a\n", 6), list));
}

TEST(CopyList, CountBeyondTheLinesIsRefusedAndHugeCountsDoNotAllocate) {
  CopyList list;
  EXPECT_STATUS(CopyListStatus::kMissingEntries, Parse("3 0\n\\a\n\\b\n", list));
  EXPECT_EQ(2u, list.entries.size()) << "the entries before the gap";
  EXPECT_STATUS(CopyListStatus::kMissingEntries,
                Parse("99999999999999999999999 0\n\\a\n", list));
  EXPECT_EQ(1u, list.entries.size());
}

TEST(CopyList, EntryWithoutNameIsRefused) {
  CopyList list;
  for (const char* line : {"\n", "\r\n", "   \t\n", "$\n", "$  \r\n"}) {
    EXPECT_STATUS(CopyListStatus::kEntryWithoutName,
                  Parse(std::string("3 0\n\\a\n") + line + "\\c\n", list))
        << "line '" << line << "'";
    EXPECT_EQ(1u, list.entries.size());
  }
  EXPECT_STATUS(CopyListStatus::kEntryWithoutName,
                Parse(std::string("1 0\n\0\\a\n", 8), list))
      << "the line ends at its NUL";
}

TEST(CopyList, LongLinesAreReadWhole) {
  const std::string deep = "\\" + std::string(300, 'd') + "\\" +
                           std::string(150, 'f') + ".dat";
  CopyList list;
  MemoryFile file("2 0   " + std::string(200, ' ') + "\r\n" + deep +
                      "\r\n\\next\r\n",
                  7);
  EXPECT_STATUS(CopyListStatus::kOk, ParseCopyList(file, list));
  ASSERT_EQ(2u, list.entries.size());
  EXPECT_EQ(deep, list.entries[0].name);
  EXPECT_EQ("\\next", list.entries[1].name);
  EXPECT_EQ(3u, list.entries[1].line_number);
}

TEST(CopyList, ReadErrorIsNotTakenForTheEnd) {
  const std::string bytes = "2 0\n\\a\n\\b\n";
  for (std::size_t offset : {std::size_t{0}, std::size_t{2}, std::size_t{6}}) {
    MemoryFile file(bytes, 1);
    file.FailReadsFrom(offset);
    CopyList list;
    EXPECT_STATUS(CopyListStatus::kReadError, ParseCopyList(file, list))
        << "failing from byte " << offset;
  }
  MemoryFile file(bytes, 1);
  file.FailReadsFrom(bytes.size());
  CopyList list;
  EXPECT_STATUS(CopyListStatus::kOk, ParseCopyList(file, list))
      << "nothing after the last entry is read";
}

TEST(CopyList, CheckOnlyPositions) {
  for (std::size_t position = 0; position < 12; ++position) {
    const bool expected = position <= 3 || position == 6;
    EXPECT_EQ(expected, IsCheckOnlyPosition(position)) << position;
  }
}

TEST(CopyList, SourcePathForms) {
  EXPECT_EQ("D:\\prog\\main.exe", SourcePath("\\prog\\main.exe", 'A', 'D'));
  EXPECT_EQ("d:\\prog\\main.exe", SourcePath("\\prog\\main.exe", 0, 'd'));
  EXPECT_EQ("\\prog\\main.exe", SourcePath("\\prog\\main.exe", 0, 0));
  EXPECT_EQ("A:\\extra\\x.dat", SourcePath(":\\extra\\x.dat", 'A', 'D'));
  EXPECT_EQ("", SourcePath(":\\extra\\x.dat", 0, 'D'))
      << "a ':' name without a copy-list drive names nothing";
}

TEST(CopyList, DestinationNameIsTheLastComponent) {
  EXPECT_EQ("\\main.exe", DestinationName("\\prog\\sub\\main.exe"));
  EXPECT_EQ("\\x.dat", DestinationName(":\\extra\\x.dat"));
  EXPECT_EQ("\\x.dat", DestinationName(":\\x.dat"))
      << "the search starts at the second character";
  EXPECT_EQ("\\main.exe", DestinationName("\\main.exe"));
  EXPECT_EQ("\\main.exe", DestinationName("main.exe"));
  EXPECT_EQ("\\b", DestinationName("a\\b"));
  EXPECT_EQ("\\b", DestinationName("\\\\b"));
  EXPECT_EQ("\\Startup.Mar", DestinationName("\\prog\\cfg\\Startup.Mar"));
  EXPECT_EQ("\\a..b", DestinationName("\\a..b"));
  EXPECT_EQ("\\.profile", DestinationName("\\x\\.profile"));
  EXPECT_EQ("\\console.txt", DestinationName("\\console.txt"));
  EXPECT_EQ("\\com10", DestinationName("\\com10"));
}

TEST(CopyList, DestinationNamesOutsideTheFolderOrNotAFileAreRefused) {
  for (const char* name :
       {"\\", "\\prog\\", "\\prog\\.", "\\prog\\..", "..", ".", "\\..",
        "\\prog\\...", "\\prog\\. .", "\\prog\\a/b", "\\prog\\../x",
        "\\prog\\c:x", ":x.dat", "\\prog\\x::$DATA", "\\dev\\nul",
        "\\dev\\CON.txt", "\\dev\\Aux", "\\dev\\com1", "\\dev\\LPT9.log",
        "\\dev\\nul .txt", "\\dev\\conin$", "\\dev\\com\xB9", ""}) {
    EXPECT_FALSE(DestinationName(name).has_value()) << "name '" << name << "'";
  }
}

}  // namespace
}  // namespace orvik
