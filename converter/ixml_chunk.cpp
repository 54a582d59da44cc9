// Rewriting an iXML document for the four-channel output.
#include "converter/ixml_chunk.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>
#include <vector>

#include "converter/xml_document.h"

namespace quadrel {
namespace {

// The iXML the rewrite starts from when the WX file has none it can use.
constexpr std::string_view smallIxml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n<IXML_VERSION>1.5</IXML_VERSION>\n</BWFXML>\n";

std::array<std::string_view, 4> channelNames(ChannelConvention convention) {
  if (convention == ChannelConvention::ambix) return {"W", "Y", "Z", "X"};
  return {"W", "X", "Y", "Z"};
}

bool isElement(const XmlNode& node, std::string_view name) {
  return node.kind == XmlNode::Kind::element && node.name == name;
}

std::optional<std::size_t> indexOf(const XmlNode& parent, std::string_view name) {
  for (std::size_t i = 0; i < parent.children.size(); ++i) {
    if (isElement(parent.children[i], name)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> lastElement(const XmlNode& parent) {
  for (std::size_t i = parent.children.size(); i > 0; --i) {
    if (parent.children[i - 1].kind == XmlNode::Kind::element) return i - 1;
  }
  return std::nullopt;
}

// Puts `node` on a line of its own after the child at `anchor`, or first.
void insertAfter(XmlNode& parent, std::optional<std::size_t> anchor, XmlNode node, std::string_view newline) {
  const auto at = parent.children.begin() + static_cast<std::ptrdiff_t>(anchor ? *anchor + 1 : 0);
  parent.children.insert(parent.children.insert(at, XmlNode::text(newline)) + 1, std::move(node));
}

// An element whose children stand one to a line.
XmlNode block(std::string_view name, std::vector<XmlNode> children, std::string_view newline) {
  XmlNode node = XmlNode::element(name);
  for (XmlNode& child : children) {
    node.children.push_back(XmlNode::text(newline));
    node.children.push_back(std::move(child));
  }
  node.children.push_back(XmlNode::text(newline));
  return node;
}

XmlNode trackList(ChannelConvention convention, std::string_view newline) {
  std::vector<XmlNode> tracks{XmlNode::leaf("TRACK_COUNT", "4")};
  const std::array<std::string_view, 4> names = channelNames(convention);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string index = std::to_string(i + 1);
    tracks.push_back(block("TRACK",
                           {XmlNode::leaf("CHANNEL_INDEX", index), XmlNode::leaf("INTERLEAVE_INDEX", index),
                            XmlNode::leaf("NAME", names[i])},
                           newline));
  }
  return block("TRACK_LIST", std::move(tracks), newline);
}

// One TRACK_LIST, where the first one was or after the last element.
void replaceTrackList(XmlNode& root, XmlNode list, std::string_view newline) {
  bool seen = false;
  std::erase_if(root.children, [&seen](const XmlNode& node) {
    if (!isElement(node, "TRACK_LIST")) return false;
    return std::exchange(seen, true);
  });
  if (const std::optional<std::size_t> at = indexOf(root, "TRACK_LIST")) {
    root.children[*at] = std::move(list);
  } else {
    insertAfter(root, lastElement(root), std::move(list), newline);
  }
}

bool isBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// The convention in the document's NOTE, after what a user wrote there.
void sayConvention(XmlNode& root, ChannelConvention convention, std::string_view newline) {
  const std::string_view note = conventionNote(convention);
  const std::optional<std::size_t> at = indexOf(root, "NOTE");
  if (!at) {
    insertAfter(root, indexOf(root, "IXML_VERSION"), XmlNode::leaf("NOTE", note), newline);
    return;
  }
  std::vector<XmlNode>& text = root.children[*at].children;
  const bool written = std::any_of(text.begin(), text.end(), [](const XmlNode& node) {
    return node.kind != XmlNode::Kind::text || !isBlank(node.raw);
  });
  if (written) {
    text.push_back(XmlNode::text("; " + std::string(note)));
  } else {
    text = {XmlNode::text(note)};
  }
}

// Sets the elements `low` and `high` of `parent` to the halves of `value`,
// and adds the one of them that is missing when the other is there.
void setHalves(XmlNode& parent, std::string_view low, std::string_view high, std::uint64_t value,
               std::string_view newline) {
  const std::string lowText = std::to_string(value & 0xFFFFFFFF);
  const std::string highText = std::to_string(value >> 32);
  bool seenLow = false;
  bool seenHigh = false;
  for (XmlNode& child : parent.children) {
    if (isElement(child, low)) {
      seenLow = true;
      child.children = {XmlNode::text(lowText)};
    } else if (isElement(child, high)) {
      seenHigh = true;
      child.children = {XmlNode::text(highText)};
    }
  }
  if (seenLow && !seenHigh) insertAfter(parent, indexOf(parent, low), XmlNode::leaf(high, highText), newline);
  if (seenHigh && !seenLow) insertAfter(parent, indexOf(parent, high), XmlNode::leaf(low, lowText), newline);
}

// The rate SPEED counts its samples since midnight in: the first
// TIMESTAMP_SAMPLE_RATE that says one, else the file's; nothing when it is
// not a number.
std::optional<std::uint32_t> timestampRate(const XmlNode& speed, std::uint32_t fileRate) {
  for (const XmlNode& child : speed.children) {
    if (!isElement(child, "TIMESTAMP_SAMPLE_RATE")) continue;
    std::string text;
    for (const XmlNode& piece : child.children)
      text += piece.kind == XmlNode::Kind::text ? piece.raw : "?";
    if (isBlank(text)) continue;
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    std::uint64_t rate = 0;
    for (char c : std::string_view(text).substr(first, last - first + 1)) {
      if (c < '0' || c > '9') return std::nullopt;
      rate = rate * 10 + static_cast<std::uint64_t>(c - '0');
      if (rate > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    if (rate == 0) return std::nullopt;
    return static_cast<std::uint32_t>(rate);
  }
  return fileRate;
}

void setTimeReference(XmlNode& root, std::uint64_t reference, std::uint32_t rate, std::string_view newline) {
  for (XmlNode& child : root.children) {
    if (isElement(child, "BEXT")) {
      setHalves(child, "BWF_TIME_REFERENCE_LOW", "BWF_TIME_REFERENCE_HIGH", reference, newline);
    }
    if (!isElement(child, "SPEED")) continue;
    const std::optional<std::uint32_t> to = timestampRate(child, rate);
    if (!to) continue;
    // The reference counted at the other rate; the remainder's product stays within 64 bits.
    const std::uint64_t samples =
        rate == 0 || rate == *to ? reference : reference / rate * *to + reference % rate * *to / rate;
    setHalves(child, "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", samples,
              newline);
  }
}

// The output's sample width where SPEED states one: AmbiX changes it.
void setBitDepth(XmlNode& root, std::uint16_t bits) {
  for (XmlNode& speed : root.children) {
    if (!isElement(speed, "SPEED")) continue;
    for (XmlNode& child : speed.children) {
      if (isElement(child, "AUDIO_BIT_DEPTH")) child.children = {XmlNode::text(std::to_string(bits))};
    }
  }
}

}  // namespace

std::string_view conventionNote(ChannelConvention convention) {
  if (convention == ChannelConvention::ambix) {
    return "First-order ambisonics AmbiX: ACN channel order 0 1 2 3 (W Y Z X) with SN3D normalisation";
  }
  return "First-order ambisonics B-format: traditional channel order W X Y Z with W 3 dB down";
}

std::string rewriteIxml(std::optional<std::string_view> chunk, const IxmlFacts& facts) {
  std::optional<XmlDocument> document;
  if (chunk) document = readXml(*chunk);
  const bool carried = document && document->root.name == "BWFXML";
  if (!carried) document = readXml(smallIxml);
  const std::string_view newline = carried && chunk->find("\r\n") != std::string_view::npos ? "\r\n" : "\n";

  XmlNode& root = document->root;
  if (facts.timeReference) setTimeReference(root, *facts.timeReference, facts.sampleRate, newline);
  if (facts.bitDepth != 0) setBitDepth(root, facts.bitDepth);
  sayConvention(root, facts.convention, newline);
  replaceTrackList(root, trackList(facts.convention, newline), newline);
  return writeXml(*document);
}

}  // namespace quadrel
