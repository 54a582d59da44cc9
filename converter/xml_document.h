// A small, bounded XML reader and writer for the metadata chunks of a WAVE
// file, which are short documents of elements and text.
//
// The reader checks that a document is well-formed XML 1.0 (elements,
// attributes, text, comments, processing instructions, CDATA sections, the
// five predefined entity references and character references) in UTF-8,
// US-ASCII or ISO-8859-1, and keeps every piece as it was written, so that
// what is not changed is written back byte for byte. It takes no document
// type declaration, and so no entity of its own: nothing a document says
// can make the reader expand text. Its limits on size, nesting depth and
// node count bound the memory and the time any input can take; a document
// past them is refused like a malformed one. NUL bytes after the document,
// with which some recorders pad the chunk, are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

inline constexpr std::size_t xmlSizeLimit = std::size_t{1} << 20;
inline constexpr std::size_t xmlDepthLimit = 64;
inline constexpr std::size_t xmlNodeLimit = std::size_t{1} << 16;

struct XmlNode {
  enum class Kind : std::uint8_t {
    element,
    text,    // character data, references kept as written
    markup,  // a comment, a processing instruction or a CDATA section, as written
  };

  Kind kind = Kind::text;
  std::string name;  // an element's
  // An element's start tag without its closing ">" or "/>"; the bytes of
  // text and markup.
  std::string raw;
  std::string endTag;  // as written; empty for an empty-element tag
  std::vector<XmlNode> children;

  // A new element, and new text with "<", ">" and "&" escaped.
  static XmlNode element(std::string_view name);
  static XmlNode text(std::string_view value);
  static XmlNode leaf(std::string_view name, std::string_view value);
};

struct XmlDocument {
  std::string prolog;  // the byte order mark, declaration, comments and white space before the root
  XmlNode root;
  std::string epilog;  // what follows the root, without the NUL padding
};

// The document in `bytes`; nothing when it is not well-formed or passes a
// limit.
std::optional<XmlDocument> readXml(std::string_view bytes);

std::string writeXml(const XmlDocument& document);

}  // namespace quadrel
