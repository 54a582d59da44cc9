// Reading a document into pieces kept as written, and writing them back.
#include "converter/xml_document.h"

#include <algorithm>
#include <set>
#include <utility>

namespace quadrel {
namespace {

enum class Encoding : std::uint8_t { utf8, latin1 };

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || c == '_' || c == ':' || u >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
bool isXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// Whether every character is one XML allows, and for UTF-8 encoded in its
// shortest form.
bool validCharacters(std::string_view s, Encoding encoding) {
  if (encoding == Encoding::latin1) {
    return std::all_of(s.begin(), s.end(), [](char c) { return isXmlChar(static_cast<unsigned char>(c)); });
  }
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::uint32_t c = lead;
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
      c = lead & 0x1F, length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      c = lead & 0x0F, length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      c = lead & 0x07, length = 4;
    } else if (lead >= 0x80) {
      return false;
    }
    if (s.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) || !isXmlChar(c)) return false;
    i += length;
  }
  return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  bool document(XmlDocument& document) {
    const bool byteOrderMark = at("\xEF\xBB\xBF");
    if (byteOrderMark) pos_ = 3;
    Encoding encoding = Encoding::utf8;
    if (at("<?xml") && s_.size() > pos_ + 5 && isSpace(s_[pos_ + 5]) && !declaration(encoding)) return false;
    if ((byteOrderMark && encoding != Encoding::utf8) || !validCharacters(s_, encoding)) return false;
    misc();
    document.prolog = s_.substr(0, pos_);
    if (!(at("<") && s_.size() > pos_ + 1 && isNameStart(s_[pos_ + 1]))) return false;
    if (!element(document.root)) return false;
    const std::size_t epilog = pos_;
    misc();
    document.epilog = s_.substr(epilog);
    return pos_ == s_.size();
  }

 private:
  bool at(std::string_view prefix) const { return s_.substr(pos_).starts_with(prefix); }

  bool space() {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && isSpace(s_[pos_]))
      ++pos_;
    return pos_ > start;
  }

  bool name(std::string_view& out) {
    const std::size_t start = pos_;
    if (pos_ >= s_.size() || !isNameStart(s_[pos_])) return false;
    while (pos_ < s_.size() && isNameChar(s_[pos_]))
      ++pos_;
    out = s_.substr(start, pos_ - start);
    return true;
  }

  // Moves past `end`, found from `from` on.
  bool skipPast(std::string_view end, std::size_t from) {
    const std::size_t found = s_.find(end, from);
    if (found == std::string_view::npos) return false;
    pos_ = found + end.size();
    return true;
  }

  // At "&": a predefined entity or a character XML allows.
  bool reference() {
    const std::size_t end = s_.find(';', pos_);
    if (end == std::string_view::npos || end - pos_ > 32) return false;
    const std::string_view body = s_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    for (std::string_view entity : {"lt", "gt", "amp", "apos", "quot"}) {
      if (body == entity) return true;
    }
    if (body.size() < 2 || body[0] != '#') return false;
    const bool hex = body[1] == 'x';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) return false;
    std::uint32_t c = 0;
    for (char d : digits) {
      const int value = d >= '0' && d <= '9'                            ? d - '0'
                        : hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f' ? (d | 0x20) - 'a' + 10
                                                                        : -1;
      if (value < 0) return false;
      c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
      if (c > 0x10FFFF) return false;
    }
    return isXmlChar(c);
  }

  bool quoted() {
    if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return false;
    const char quote = s_[pos_++];
    while (pos_ < s_.size() && s_[pos_] != quote) {
      if (s_[pos_] == '<') return false;
      if (s_[pos_] == '&') {
        if (!reference()) return false;
      } else {
        ++pos_;
      }
    }
    return pos_++ < s_.size();
  }

  // The XML declaration: version 1.x, then an encoding this reader reads and
  // a standalone flag, each optional, in that order.
  bool declaration(Encoding& encoding) {
    pos_ += 5;
    std::string_view field;
    for (std::string_view expected : {"version", "encoding", "standalone"}) {
      const std::size_t before = pos_;
      if (!space() || !name(field) || field != expected) {
        pos_ = before;
        if (expected == "version") return false;
        continue;
      }
      space();
      if (!at("=")) return false;
      ++pos_;
      space();
      const std::size_t start = pos_ + 1;
      if (!quoted()) return false;
      const std::string_view value = s_.substr(start, pos_ - 1 - start);
      if (expected == "version" && !value.starts_with("1.")) return false;
      if (expected == "encoding") {
        if (equalsIgnoringCase(value, "ISO-8859-1")) {
          encoding = Encoding::latin1;
        } else if (!equalsIgnoringCase(value, "UTF-8") && !equalsIgnoringCase(value, "US-ASCII")) {
          return false;
        }
      }
    }
    space();
    if (!at("?>")) return false;
    pos_ += 2;
    return true;
  }

  // Comments, processing instructions and white space outside the root.
  void misc() {
    for (;;) {
      const std::size_t before = pos_;
      if (space()) continue;
      if (at("<![CDATA[") || !markup() || pos_ == before) {
        pos_ = before;
        return;
      }
    }
  }

  // A comment, a CDATA section or a processing instruction at the position,
  // if there is one; false when it is not well-formed.
  bool markup() {
    if (at("<!--")) {
      const std::size_t dashes = s_.find("--", pos_ + 4);
      if (dashes == std::string_view::npos || s_.substr(dashes).substr(0, 3) != "-->") return false;
      pos_ = dashes + 3;
      return true;
    }
    if (at("<![CDATA[")) return skipPast("]]>", pos_ + 9);
    if (!at("<?")) return true;
    pos_ += 2;
    std::string_view target;
    if (!name(target) || equalsIgnoringCase(target, "xml")) return false;
    if (at("?>")) return skipPast("?>", pos_);
    return space() && skipPast("?>", pos_);
  }

  // At "<" and a name: the start tag, up to its ">" or "/>".
  bool startTag(XmlNode& node, bool& empty) {
    const std::size_t start = pos_++;
    std::string_view tagName;
    if (!name(tagName)) return false;
    node.kind = XmlNode::Kind::element;
    node.name = tagName;
    std::set<std::string_view> attributes;
    for (;;) {
      const bool spaced = space();
      empty = at("/>");
      if (empty || at(">")) {
        node.raw = s_.substr(start, pos_ - start);
        pos_ += empty ? 2 : 1;
        return true;
      }
      std::string_view attribute;
      if (!spaced || !name(attribute) || !attributes.insert(attribute).second) return false;
      space();
      if (!at("=")) return false;
      ++pos_;
      space();
      if (!quoted()) return false;
    }
  }

  bool endTag(XmlNode& node) {
    const std::size_t start = pos_;
    pos_ += 2;
    std::string_view tagName;
    if (!name(tagName) || tagName != node.name) return false;
    space();
    if (!at(">")) return false;
    node.endTag = s_.substr(start, ++pos_ - start);
    return true;
  }

  bool text(XmlNode& node) {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != '<') {
      if (s_[pos_] == '&') {
        if (!reference()) return false;
      } else if (s_[pos_] == '>' && pos_ - start >= 2 && s_.substr(pos_ - 2, 2) == "]]") {
        return false;
      } else {
        ++pos_;
      }
    }
    node.raw = s_.substr(start, pos_ - start);
    return true;
  }

  // The root element and everything in it, without recursion: the open
  // elements are a stack no deeper than the depth limit.
  bool element(XmlNode& root) {
    bool empty = false;
    if (!startTag(root, empty)) return false;
    std::vector<XmlNode*> open;
    if (!empty) open.push_back(&root);
    std::size_t nodes = 1;
    while (!open.empty()) {
      if (pos_ >= s_.size()) return false;
      XmlNode& parent = *open.back();
      if (at("</")) {
        if (!endTag(parent)) return false;
        open.pop_back();
        continue;
      }
      if (++nodes > xmlNodeLimit) return false;
      XmlNode& child = parent.children.emplace_back();
      const std::size_t start = pos_;
      if (at("<!") || at("<?")) {
        if (!markup() || pos_ == start) return false;
        child.kind = XmlNode::Kind::markup;
        child.raw = s_.substr(start, pos_ - start);
      } else if (at("<")) {
        if (open.size() == xmlDepthLimit || !startTag(child, empty)) return false;
        if (!empty) open.push_back(&child);
      } else if (!text(child)) {
        return false;
      }
    }
    return true;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

void write(const XmlNode& node, std::string& out) {
  out += node.raw;
  if (node.kind != XmlNode::Kind::element) return;
  if (node.children.empty() && node.endTag.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  for (const XmlNode& child : node.children)
    write(child, out);
  out += node.endTag.empty() ? "</" + node.name + ">" : node.endTag;
}

}  // namespace

XmlNode XmlNode::element(std::string_view name) {
  XmlNode node;
  node.kind = Kind::element;
  node.name = name;
  node.raw = "<" + node.name;
  node.endTag = "</" + node.name + ">";
  return node;
}

XmlNode XmlNode::text(std::string_view value) {
  XmlNode node;
  for (char c : value) {
    if (c == '<') {
      node.raw += "&lt;";
    } else if (c == '>') {
      node.raw += "&gt;";
    } else if (c == '&') {
      node.raw += "&amp;";
    } else {
      node.raw += c;
    }
  }
  return node;
}

XmlNode XmlNode::leaf(std::string_view name, std::string_view value) {
  XmlNode node = element(name);
  node.children.push_back(text(value));
  return node;
}

std::optional<XmlDocument> readXml(std::string_view bytes) {
  if (bytes.size() > xmlSizeLimit) return std::nullopt;
  while (!bytes.empty() && bytes.back() == '\0')
    bytes.remove_suffix(1);
  XmlDocument document;
  if (!Reader(bytes).document(document)) return std::nullopt;
  return document;
}

std::string writeXml(const XmlDocument& document) {
  std::string out = document.prolog;
  write(document.root, out);
  return out + document.epilog;
}

}  // namespace quadrel
