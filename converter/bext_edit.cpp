// Editing a bext body.
#include "converter/bext_edit.h"

#include <algorithm>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

void append(std::vector<std::byte>& body, std::string_view text) {
  for (const char c : text)
    body.push_back(static_cast<std::byte>(c));
}

}  // namespace

std::optional<std::uint64_t> bextTimeReference(std::span<const std::byte> body) {
  if (body.size() < bextTimeReferenceOffset + 8) return std::nullopt;
  return loadUint64Le(body.data() + bextTimeReferenceOffset);
}

std::vector<std::byte> editBext(std::span<const std::byte> body, const BextEdit& edit) {
  std::vector<std::byte> edited(body.begin(), body.end());
  if (edited.size() < bextCodingHistoryOffset) edited.resize(bextCodingHistoryOffset, std::byte{0});
  if (edit.timeReference) {
    std::byte* field = edited.data() + bextTimeReferenceOffset;
    storeUint32Le(field, static_cast<std::uint32_t>(*edit.timeReference));
    storeUint32Le(field + 4, static_cast<std::uint32_t>(*edit.timeReference >> 32));
  }
  if (!edit.historyLine.empty()) {
    while (edited.size() > bextCodingHistoryOffset && edited.back() == std::byte{0})
      edited.pop_back();
    if (edited.size() > bextCodingHistoryOffset && edited.back() != std::byte{'\n'}) append(edited, "\r\n");
    append(edited, edit.historyLine);
    append(edited, "\r\n");
  }
  if (edited.size() % 2 != 0) edited.push_back(std::byte{0});
  return edited;
}

}  // namespace quadrel
