// The iXML chunk of a four-channel output: the WX file's, rewritten to say
// what the four channels are, or a small one of its own.
//
// Production tools look at an iXML chunk's TRACK_LIST for what each track
// of a file is. The output's TRACK_LIST names its four channels in order;
// its NOTE says, once, that they are first-order ambisonics and in which
// convention; its BWF time-reference elements (BEXT's and SPEED's
// samples since midnight) agree with the output's bext TimeReference, and
// SPEED's AUDIO_BIT_DEPTH with its samples.
// Every other element is written back as it was. An input chunk that is
// not well-formed XML (xml_document.h), or whose root is not BWFXML, is
// not carried half-changed: the output gets the small iXML instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quadrel {

// The channel order and scaling of the output's samples.
enum class ChannelConvention : std::uint8_t {
  traditional,  // W X Y Z, W 3 dB down
  ambix,        // W Y Z X: ACN order, SN3D scaling
};

struct IxmlFacts {
  ChannelConvention convention = ChannelConvention::traditional;
  // The output bext's TimeReference, when the output carries a bext.
  std::optional<std::uint64_t> timeReference;
  std::uint32_t sampleRate = 0;  // the output's, which its TimeReference counts in
  std::uint16_t bitDepth = 0;    // the output's valid bits; 0 leaves AUDIO_BIT_DEPTH alone
};

// The sentence the iXML NOTE carries for a convention; it holds no comma,
// so that a CodingHistory line can carry it too.
std::string_view conventionNote(ChannelConvention convention);

// The output's iXML chunk body, from the WX file's, when it has one.
std::string rewriteIxml(std::optional<std::string_view> chunk, const IxmlFacts& facts);

}  // namespace quadrel
