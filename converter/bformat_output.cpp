// Writing the output and settling its header.
#include "converter/bformat_output.h"

#include <cstring>
#include <vector>

#include "converter/settle_check.h"
#include "converter/tail_copy.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

void writeCanonicalHeader(int unit, CanonicalImage image) {
  std::byte* h = image.data();
  const TransferItem groupA[] = {TransferItem::characters(h, 4), TransferItem::integer4(h + 4),
                                 TransferItem::characters(h + 8, 8)};
  const TransferItem groupB[] = {TransferItem::integer4(h + 16), TransferItem::integer2(h + 20),
                                 TransferItem::integer2(h + 22)};
  const TransferItem groupC[] = {TransferItem::integer4(h + 24), TransferItem::integer4(h + 28)};
  const TransferItem groupD[] = {TransferItem::integer2(h + 32), TransferItem::integer2(h + 34),
                                 TransferItem::characters(h + 36, 4), TransferItem::integer4(h + 40)};
  writeStatement(unit, groupA);
  writeStatement(unit, groupB);
  writeStatement(unit, groupC);
  writeStatement(unit, groupD);
}

// The RIFF id of a header image whose numbers are `bigEndianImage`, to
// match the order in which the output's byte-order settings put them in the
// file: "RIFX" for big-endian numbers, "RIFF" for little-endian ones. Any
// other id stays.
void matchRiffId(int unit, std::byte* image, bool bigEndianImage) {
  if (!hasId(image, "RIFF") && !hasId(image, "RIFX")) return;
  const bool bigEndian = bigEndianImage != byteOrderOf(unit).reverseIntegers;
  std::memcpy(image, bigEndian ? "RIFX" : "RIFF", 4);
}

// A chunked header's fields as the items of one request.
std::vector<TransferItem> headerItems(ChunkedHeader& header) {
  std::vector<TransferItem> items;
  items.reserve(header.fields.size());
  for (const HeaderField& field : header.fields)
    items.push_back({field.kind, header.image.data() + field.offset, field.length});
  return items;
}

}  // namespace

void BFormatOutput::open(std::string_view nameField) {
  openUnit(files_.output, nameField, UnitAction::write);
  rewindUnit(files_.output);
}

void BFormatOutput::writeHeader() {
  if (plan_.form == OutputForm::canonical) {
    CanonicalImage image = plan_.canonical;
    matchRiffId(files_.output, image.data(), false);
    writeCanonicalHeader(files_.output, image);
    return;
  }
  first_ = buildChunkedHeader(plan_.layout, plan_.sizes);
  matchRiffId(files_.output, first_.image.data(), plan_.layout.bigEndian);
  writeStatement(files_.output, headerItems(first_));
}

std::optional<int> BFormatOutput::writeFrames() {
  run_ = moveFrames(files_, plan_.counts, plan_.shape);
  const std::optional<int> endedFirst = inputEndedFirst(files_, plan_.counts, run_);
  endedEarly_ = endedFirst.has_value();
  return endedFirst;
}

void BFormatOutput::writeTail() { cutTo_ = quadrel::writeTail(files_, plan_, run_.frames); }

void BFormatOutput::settle() {
  if (plan_.form == OutputForm::canonical) return;
  std::optional<std::uint64_t> length = writtenLength(files_.output);
  if (!length) return;
  if (cutTo_ && *cutTo_ < *length) {
    cutOutputAt(files_.output, *cutTo_);
    length = cutTo_;
  }
  ChunkedHeader settled = buildChunkedHeader(plan_.layout, settledSizes(plan_, run_.frames, *length));
  matchRiffId(files_.output, settled.image.data(), plan_.layout.bigEndian);
  // Sizes known ahead must come out as planned: a pipe gets no second header.
  if (plan_.sizes.riffKnown && !endedEarly_ && !cutTo_) checkSettledHeader(first_.image, settled.image);
  if (settled.image == first_.image) return;
  writeStatementAt(files_.output, 0, headerItems(settled));
}

}  // namespace quadrel
