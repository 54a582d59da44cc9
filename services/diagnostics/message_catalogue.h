// The message catalogue: the text of every status code this program raises.
//
// The catalogue is data: one table of {code, template}. Templates are
// printf-style ("unit %d, file %s") and each ends in CR LF.
#pragma once

#include <span>
#include <string_view>

#include "services/diagnostics/status_code.h"

namespace quadrel {

struct CatalogueEntry {
  StatusCode code;
  std::string_view text;  // the template, CR LF included
};

// Every entry of the catalogue, in ascending order of message number.
std::span<const CatalogueEntry> catalogueEntries();

// The template of `code`, matched on all 32 bits. A code that is not in the
// catalogue yields "Message not found" and a single LF.
std::string_view messageTemplate(StatusCode code);

// "forrtl", "forrtl: info", "forrtl: error" or "forrtl: severe", chosen by
// the code's severity class.
std::string_view severityPrefix(Severity severity);

}  // namespace quadrel
