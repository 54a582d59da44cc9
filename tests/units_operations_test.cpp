// Unit operations in this process on temporary files: reads across fetch
// boundaries, the bytes lent out, gathered writes and the cut, and the frame
// loop and tail copy against the one-request-at-a-time result.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "converter/frame_loop.h"
#include "converter/tail_copy.h"
#include "services/units/binary_units.h"
#include "services/units/unit_table.h"
#include "tests/support/wav_builder.h"

namespace quadrel {
namespace {

namespace fs = std::filesystem;

constexpr UnitAction forReading = UnitAction::read;
constexpr UnitAction forWriting = UnitAction::write;

class UnitOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / (std::string("quadrel_units_") + info->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    for (int unit : {1, 2, 9})
      closeUnit(unit);
    fs::remove_all(folder_);
  }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  std::string create(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }

  std::string contents(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path folder_;
};

std::string pattern(std::size_t size, unsigned seed) { return harness::samplePattern(seed, size); }

TEST_F(UnitOperations, ReadsItemsInFileOrderAndLendsWhatIsLeft) {
  openUnit(1, create("in.bin", "RIFF\x01\x02\x03\x04\x05\x06Z"), forReading);
  char id[4];
  std::uint8_t two[2], four[4];
  const TransferItem items[] = {TransferItem::characters(id, 4), TransferItem::integer2(two),
                                TransferItem::integer4(four)};
  readStatement(1, items);
  EXPECT_EQ(std::string(id, 4), "RIFF");
  EXPECT_EQ(two[0], 1);
  EXPECT_EQ(two[1], 2);
  EXPECT_EQ(four[3], 6);

  const std::span<const std::byte> left = borrowFetched(1);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0], std::byte{'Z'});
  EXPECT_TRUE(fetchMore(1)) << "bytes are still fetched: no read";
  commitFetched(1, 1);
  EXPECT_TRUE(borrowFetched(1).empty());
  EXPECT_FALSE(fetchMore(1)) << "the file has ended";
}

TEST_F(UnitOperations, AnItemStraddlingTwoFetchesArrivesWhole) {
  const std::string bytes = pattern(fetchSize + 10, 3);
  openUnit(2, create("in.bin", bytes), forReading);
  std::vector<char> first(fetchSize - 2);
  const TransferItem lead[] = {TransferItem::characters(first.data(), first.size())};
  readStatement(2, lead);
  char straddling[4];
  const TransferItem across[] = {TransferItem::integer4(straddling)};
  readStatement(2, across);
  EXPECT_EQ(std::string(straddling, 4), bytes.substr(fetchSize - 2, 4));
  char rest[8];
  const TransferItem tail[] = {TransferItem::characters(rest, 8)};
  readStatement(2, tail);
  EXPECT_EQ(std::string(rest, 8), bytes.substr(fetchSize + 2));
}

TEST_F(UnitOperations, ASkipHandsOutTheBytesPastTheFetchedOnesAndFindsTheEnd) {
  const std::string bytes = pattern(3 * fetchSize, 5);
  openUnit(1, create("in.bin", bytes), forReading);
  char first[4];
  const TransferItem one[] = {TransferItem::characters(first, 4)};
  readStatement(1, one);
  ASSERT_TRUE(skipInput(1, 2 * fetchSize + 6));
  EXPECT_EQ(bytesLeftInUnit(1), fetchSize - 10);
  char next[4];
  const TransferItem after[] = {TransferItem::characters(next, 4)};
  readStatement(1, after);
  EXPECT_EQ(std::string(next, 4), bytes.substr(2 * fetchSize + 10, 4));
  EXPECT_FALSE(skipInput(1, fetchSize)) << "fewer bytes are left than the skip";
  EXPECT_FALSE(fetchMore(1)) << "a skip past the end leaves the file at its end";
}

TEST_F(UnitOperations, RewindWritesTheGatheredBytesAndArmsTheCutAgain) {
  openUnit(9, path("new.bin"), forWriting);
  EXPECT_TRUE(fs::exists(path("new.bin")));
  std::string eight = "12345678";
  const TransferItem first[] = {TransferItem::characters(eight.data(), 8)};
  writeStatement(9, first);
  rewindUnit(9);
  EXPECT_EQ(contents("new.bin"), eight);

  std::string four = "abcd";
  const TransferItem second[] = {TransferItem::characters(four.data(), 4)};
  writeStatement(9, second);
  closeUnit(9);
  EXPECT_EQ(contents("new.bin"), four);
  closeUnit(9);  // not connected: no failure
}

// A write over earlier bytes goes in after every gathered request, and the
// stream goes on where it was; the cut of the longer old file still holds.
TEST_F(UnitOperations, WriteAtAnOffsetReplacesEarlierBytesAndLeavesTheStreamWhereItWas) {
  openUnit(9, create("out.bin", std::string(100, 'o')), forWriting);
  rewindUnit(9);
  std::string head = "HEAD", frames = "frames", tail = "tail";
  const TransferItem first[] = {TransferItem::characters(head.data(), 4),
                                TransferItem::characters(frames.data(), 6)};
  writeStatement(9, first);
  EXPECT_EQ(writtenLength(9), 10u);
  std::string settled = "head";
  const TransferItem over[] = {TransferItem::characters(settled.data(), 4)};
  writeStatementAt(9, 0, over);
  const TransferItem last[] = {TransferItem::characters(tail.data(), 4)};
  writeStatement(9, last);
  EXPECT_EQ(writtenLength(9), 14u);
  closeUnit(9);
  EXPECT_EQ(contents("out.bin"), "headframestail");
  EXPECT_EQ(writtenLength(9), std::nullopt) << "not connected";
}

// The output that one read per half and one write per frame give.
std::string interleaved(const std::string& wx, const std::string& yz, std::size_t half, std::size_t frames) {
  std::string out;
  for (std::size_t i = 0; i < frames; ++i)
    out += wx.substr(i * half, half) + yz.substr(i * half, half);
  return out;
}

struct BulkCase {
  const char* name;
  std::vector<HalfItem> half;
};

TEST_F(UnitOperations, FrameLoopAndTailCopyGiveTheOneRequestAtATimeBytes) {
  const BulkCase cases[] = {
      {"16-bit", {{ItemKind::integer4, 4}}},
      {"24-bit", {{ItemKind::integer2, 2}, {ItemKind::integer4, 4}}},
      {"32-bit", {{ItemKind::real4, 4}, {ItemKind::real4, 4}}},
      {"2-byte halves", {{ItemKind::characters, 2}}},
      {"16-byte halves", {{ItemKind::characters, 16}}},
      {"5-byte halves", {{ItemKind::characters, 5}}},
  };
  for (const BulkCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t halfLength = 0;
    for (const HalfItem& item : c.half)
      halfLength += item.length;
    // Enough frames that both inputs are fetched more than once, items
    // straddle fetches, and the gathered output is written more than once.
    const std::size_t frames = 3 * fetchSize / (2 * halfLength) + 7;
    const std::string tail = pattern(1234, 9);
    const std::string wx = pattern(frames * halfLength, 1) + tail;
    const std::string yz = pattern(frames * halfLength + 5, 2);
    openUnit(1, create("wx.bin", wx), forReading);
    openUnit(2, create("yz.bin", yz), forReading);
    openUnit(9, create("out.bin", std::string(wx.size() * 3, 'o')), forWriting);
    rewindUnit(9);
    char marker[3] = {'H', 'D', 'R'};
    const TransferItem header[] = {TransferItem::characters(marker, 3)};
    writeStatement(9, header);

    FrameShape shape;
    for (const HalfItem& item : c.half)
      shape.half.slots[shape.half.count++] = item;
    const FrameRun run = moveFrames(
        ConversionFiles{}, {static_cast<std::int64_t>(frames), static_cast<std::int64_t>(frames)}, shape);
    EXPECT_EQ(run.frames, static_cast<std::int64_t>(frames));
    OutputPlan everyByte;
    everyByte.tail = TailSource::everyByte;
    writeTail(ConversionFiles{}, everyByte, run.frames);
    const std::span<const std::byte> yzLeft = borrowFetched(2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(yzLeft.data()), yzLeft.size()),
              yz.substr(yz.size() - 5))
        << "the YZ bytes after the frames stay unread";
    for (int unit : {1, 2, 9})
      closeUnit(unit);

    const std::string expected = "HDR" + interleaved(wx, yz, halfLength, frames) + tail;
    const std::string out = contents("out.bin");
    EXPECT_EQ(out.size(), expected.size());
    EXPECT_TRUE(out == expected);
    EXPECT_EQ(contents("wx.bin"), wx);
  }
}

TEST_F(UnitOperations, TheTailCopyGoesOnThroughLaterFetches) {
  // The buffer runs dry exactly at a fetch boundary with bytes still in the
  // file, or part-way through a fetch: the tail copy takes everything after.
  const std::string bytes = pattern(2 * fetchSize + fetchSize / 2, 5);
  for (std::size_t read : {fetchSize, fetchSize / 3}) {
    SCOPED_TRACE(read);
    openUnit(1, create("wx.bin", bytes), forReading);
    openUnit(9, path("out.bin"), forWriting);
    std::vector<char> first(read);
    const TransferItem whole[] = {TransferItem::characters(first.data(), first.size())};
    readStatement(1, whole);
    OutputPlan everyByte;
    everyByte.tail = TailSource::everyByte;
    writeTail(ConversionFiles{}, everyByte, 0);
    EXPECT_FALSE(fetchMore(1));
    closeUnit(1);
    closeUnit(9);
    EXPECT_TRUE(contents("out.bin") == bytes.substr(read));
  }
}

}  // namespace
}  // namespace quadrel
