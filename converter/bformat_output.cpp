// Writing and settling the output header.
#include "converter/bformat_output.h"

#include <vector>

#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr int outputUnit = 9;

void writeCanonicalHeader(CanonicalImage image) {
  std::byte* h = image.data();
  const TransferItem groupA[] = {TransferItem::characters(h, 4), TransferItem::integer4(h + 4),
                                 TransferItem::characters(h + 8, 8)};
  const TransferItem groupB[] = {TransferItem::integer4(h + 16), TransferItem::integer2(h + 20),
                                 TransferItem::integer2(h + 22)};
  const TransferItem groupC[] = {TransferItem::integer4(h + 24), TransferItem::integer4(h + 28)};
  const TransferItem groupD[] = {TransferItem::integer2(h + 32), TransferItem::integer2(h + 34),
                                 TransferItem::characters(h + 36, 4), TransferItem::integer4(h + 40)};
  writeStatement(outputUnit, groupA);
  writeStatement(outputUnit, groupB);
  writeStatement(outputUnit, groupC);
  writeStatement(outputUnit, groupD);
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

void writeOutputHeader(const OutputPlan& plan) {
  if (plan.form == OutputForm::canonical) {
    writeCanonicalHeader(plan.canonical);
    return;
  }
  ChunkedHeader header = buildChunkedHeader(plan.layout, plan.sizes);
  writeStatement(outputUnit, headerItems(header));
}

void settleOutput(const OutputPlan& plan, std::int64_t frames, std::optional<std::uint64_t> cutTo) {
  if (plan.form == OutputForm::canonical) return;
  std::optional<std::uint64_t> length = writtenLength(outputUnit);
  if (!length) return;
  if (cutTo && *cutTo < *length) {
    cutOutputAt(outputUnit, *cutTo);
    length = cutTo;
  }
  ChunkedHeader settled = buildChunkedHeader(plan.layout, settledSizes(plan, frames, *length));
  if (settled.image == buildChunkedHeader(plan.layout, plan.sizes).image) return;
  writeStatementAt(outputUnit, 0, headerItems(settled));
}

}  // namespace quadrel
