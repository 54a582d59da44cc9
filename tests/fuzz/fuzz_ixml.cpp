// Fuzz target: the XML reader and writer and the iXML rewrite, on
// arbitrary bytes.
//
// The first byte chooses the convention and whether the output carries a
// TimeReference, the next eight are that TimeReference, the rest is the
// WX file's iXML chunk. A document the reader takes must be written back
// byte for byte (less the NUL padding after it). Whatever the chunk, the
// rewrite must give a document the reader takes, with a BWFXML root, one
// TRACK_LIST naming the four channels, and no more than a bounded number
// of bytes more than twice the chunk's (a time reference set in
// each of many empty elements).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "converter/ixml_chunk.h"
#include "converter/xml_document.h"

namespace {

using namespace quadrel;

void require(bool condition) {
  if (!condition) std::abort();
}

// The elements named `name` among the children of `parent`.
int count(const XmlNode& parent, std::string_view name) {
  int found = 0;
  for (const XmlNode& child : parent.children)
    found += child.kind == XmlNode::Kind::element && child.name == name;
  return found;
}

std::string text(const XmlNode& element) {
  std::string joined;
  for (const XmlNode& child : element.children)
    joined += child.raw;
  return joined;
}

void examineTrackList(const XmlNode& list, ChannelConvention convention) {
  const std::string_view names = convention == ChannelConvention::ambix ? "WYZX" : "WXYZ";
  require(count(list, "TRACK_COUNT") == 1 && count(list, "TRACK") == 4);
  std::size_t track = 0;
  for (const XmlNode& child : list.children) {
    if (child.name == "TRACK_COUNT") require(text(child) == "4");
    if (child.name != "TRACK") continue;
    const std::string index = std::to_string(track + 1);
    for (const XmlNode& field : child.children) {
      if (field.name == "NAME") require(text(field) == names.substr(track, 1));
      if (field.name == "CHANNEL_INDEX" || field.name == "INTERLEAVE_INDEX") require(text(field) == index);
    }
    ++track;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const std::string_view chunk(reinterpret_cast<const char*>(data) + 9, size - 9);
  IxmlFacts facts;
  facts.convention = data[0] & 1 ? ChannelConvention::ambix : ChannelConvention::traditional;
  if (data[0] & 2) {
    std::uint64_t reference = 0;
    for (int i = 8; i >= 1; --i)
      reference = reference << 8 | data[i];
    facts.timeReference = reference;
  }
  facts.sampleRate = data[0] & 4 ? 48000 : data[1];

  if (const std::optional<XmlDocument> document = readXml(chunk)) {
    std::string_view unpadded = chunk;
    while (!unpadded.empty() && unpadded.back() == '\0')
      unpadded.remove_suffix(1);
    require(writeXml(*document) == unpadded);
  }

  const std::string rewritten = rewriteIxml(chunk, facts);
  require(rewritten.size() <= 2 * chunk.size() + 4096);
  if (rewritten.size() > xmlSizeLimit) return 0;
  const std::optional<XmlDocument> output = readXml(rewritten);
  require(output && output->root.name == "BWFXML" && count(output->root, "TRACK_LIST") == 1);
  for (const XmlNode& child : output->root.children) {
    if (child.name == "TRACK_LIST") examineTrackList(child, facts.convention);
  }
  return 0;
}
