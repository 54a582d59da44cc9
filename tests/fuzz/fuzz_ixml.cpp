// Fuzz target: the XML reader and writer and the iXML rewrite, on
// arbitrary bytes.
//
// The first byte chooses the convention and whether the output carries a
// TimeReference, the next eight are that TimeReference, the rest is the
// WX file's iXML chunk. A document the reader takes must be written back
// byte for byte (less the NUL padding after it). Whatever the chunk, the
// rewrite must give a document the reader takes, with a BWFXML root and one
// TRACK_LIST, the tests' own, and at most twice the chunk's bytes and a few
// more (a time reference set in each of many empty elements).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "converter/ixml_chunk.h"
#include "converter/xml_document.h"
#include "tests/support/wav_builder.h"

namespace {

using namespace quadrel;

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const std::string_view chunk(reinterpret_cast<const char*>(data) + 9, size - 9);
  IxmlFacts facts;
  const bool ambix = data[0] & 1;
  facts.convention = ambix ? ChannelConvention::ambix : ChannelConvention::traditional;
  if (data[0] & 2) {
    std::uint64_t reference = 0;
    for (int i = 8; i >= 1; --i)
      reference = reference << 8 | data[i];
    facts.timeReference = reference;
  }
  facts.sampleRate = data[0] & 4 ? 48000 : data[1];

  if (const std::optional<XmlDocument> document = readXml(chunk)) {
    require(writeXml(*document) == chunk.substr(0, chunk.find_last_not_of('\0') + 1));
  }

  const std::string rewritten = rewriteIxml(chunk, facts);
  require(rewritten.size() <= 2 * chunk.size() + 4096);
  if (rewritten.size() > xmlSizeLimit) return 0;
  const std::optional<XmlDocument> output = readXml(rewritten);
  require(output && output->root.name == "BWFXML");
  int lists = 0;
  for (const XmlNode& child : output->root.children) {
    if (child.kind != XmlNode::Kind::element || child.name != "TRACK_LIST") continue;
    const std::string list = writeXml({"", child, ""});
    require(list == harness::expectedTrackList(ambix, list.find('\r') != std::string::npos ? "\r\n" : "\n"));
    ++lists;
  }
  require(lists == 1);
  return 0;
}
