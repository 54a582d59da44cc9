// quadrel_halves HALF WX YZ OUT: the frame loop of quadrel on halves of
// HALF bytes, whatever width the headers give.
//
// Converts as quadrel does (units 1, 2 and 9, the gathered output, the tail
// copy), but weaves every frame as two halves of HALF bytes moved as
// character items, as frames of widths that are not interleaved today will
// travel (8-bit stereo: 2-byte halves). The header is the WX file's own:
// this program is timed, not read. Frames: the WX data length over HALF.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "converter/bformat_writer.h"
#include "services/diagnostics/termination.h"
#include "services/units/binary_units.h"
#include "services/units/little_endian.h"

int main(int argc, char** argv) {
  using namespace quadrel;
  if (argc != 5) return 2;
  const std::size_t half = std::stoul(argv[1]);
  if (half == 0) return 2;
  openUnit(1, argv[2], {UnitAction::read, UnitStatus::old});
  openUnit(2, argv[3], {UnitAction::read, UnitStatus::old});
  openUnit(9, argv[4], {UnitAction::write, UnitStatus::unknown});
  rewindUnit(9);

  std::array<std::byte, 44> header{};
  std::array<std::byte, 44> yzHeader{};
  const TransferItem wxItems[] = {TransferItem::characters(header.data(), header.size())};
  const TransferItem yzItems[] = {TransferItem::characters(yzHeader.data(), yzHeader.size())};
  readStatement(1, wxItems);
  readStatement(2, yzItems);
  writeStatement(9, wxItems);

  const HalfItem layout[] = {{ItemKind::characters, half}};
  const auto dataLength = static_cast<std::uint32_t>(loadInt32Le(header.data() + 40));
  interleaveFrames(static_cast<std::int64_t>(dataLength / half), layout);
  copyWxTail();
  for (int unit : {1, 2, 9})
    closeUnit(unit);
  endProgram();
}
