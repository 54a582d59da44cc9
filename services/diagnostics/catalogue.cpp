// The message catalogue table and its lookups.
#include "services/diagnostics/catalogue.h"

#include <array>

namespace quadrel {
namespace {

// Five entries are raised by no operation of this program (cannot
// overwrite, too much data, seek required, end of file, too many bytes
// read). The table is kept whole all the same: it is the run-time's list of
// texts, and an operation that comes to meet one of those failures must
// find its words there, not "Message not found".
constexpr std::array<CatalogueEntry, 21> entries{{
    {status::permissionDenied, "permission to access file denied, unit %d, file %s\r\n"},
    {status::cannotOverwrite, "cannot overwrite existing file, unit %d, file %s\r\n"},
    {status::rewindError, "REWIND error, unit %d, file %s\r\n"},
    {status::inputRecordTooLong, "input record too long, unit %d, file %s\r\n"},
    {status::endOfFileDuringRead, "end-of-file during read, unit %d, file %s\r\n"},
    {status::closeError, "CLOSE error, unit %d, file %s\r\n"},
    {status::fileNotFound, "file not found, unit %d, file %s\r\n"},
    {status::openFailure, "open failure, unit %d, file %s\r\n"},
    {status::errorDuringWrite, "error during write, unit %d, file %s\r\n"},
    {status::errorDuringRead, "error during read, unit %d, file %s\r\n"},
    {status::insufficientMemory, "insufficient virtual memory\r\n"},
    {status::noSuchDevice, "no such device, unit %d, file %s\r\n"},
    {status::fileNameError, "file name specification error, unit %d, file %s\r\n"},
    {status::inconsistentOpenClose, "inconsistent OPEN/CLOSE parameters, unit %d, file %s\r\n"},
    {status::tooMuchData, "input statement requires too much data, unit %d, file %s\r\n"},
    {status::floatConversionFailed, "floating point conversion failed\r\n"},
    {status::seekRequired, "operation requires seek ability, unit %d, file %s\r\n"},
    {status::controlEvent, "program aborting due to %s event\r\n"},
    {status::flawedDivider, "Intel Pentium fdiv flaw detected, please update the processor\r\n"},
    {status::endOfFile, "end of file encountered\r\n"},
    {status::tooManyBytesRead, "too many bytes read from unformatted record\r\n"},
}};

}  // namespace

std::span<const CatalogueEntry> catalogueEntries() { return entries; }

std::string_view messageTemplate(StatusCode code) {
  for (const CatalogueEntry& entry : entries) {
    if (entry.code == code) return entry.text;
  }
  return "Message not found\n";
}

std::string_view severityPrefix(Severity severity) {
  switch (severity) {
    case Severity::success:
      return "forrtl";
    case Severity::info:
      return "forrtl: info";
    case Severity::error:
      return "forrtl: error";
    case Severity::severe:
      break;
  }
  return "forrtl: severe";
}

}  // namespace quadrel
