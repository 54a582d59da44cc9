// The conversion driver: one straight run from the banner to the end. It
// reads the two inputs into their descriptions, which checks them; plans
// the output from them; writes it; and settles its header, or fails where
// an input's data ended first.
//
// The output file is opened only after every check has passed, so a
// rejected pair never creates or changes an output file.
#include "converter/conversion_driver.h"

#include <cctype>
#include <string>
#include <string_view>

#include "converter/alignment.h"
#include "converter/bformat_output.h"
#include "converter/frame_loop.h"
#include "converter/input_reader.h"
#include "converter/output_plan.h"
#include "converter/rejection.h"
#include "converter/run_options.h"
#include "converter/usage.h"
#include "services/console/arguments.h"
#include "services/console/console_input.h"
#include "services/console/name_field.h"
#include "services/console/output_records.h"
#include "services/diagnostics/progress.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

struct NameFields {
  NameField wx = blankNameField();
  NameField yz = blankNameField();
  NameField output = blankNameField();
};

void writeBanner() {
  writeLayoutRecord({LayoutItem::skip(), LayoutItem::text("*** Quadrel - Converts 2 WAV Stereo Files"),
                     LayoutItem::text(" into a 4-chan. WAV file ***"), LayoutItem::recordBreak()});
  writeLayoutRecord({LayoutItem::skip(), LayoutItem::text("Converts two stereo recordings"),
                     LayoutItem::text(" into one B-format file, W X Y Z."), LayoutItem::recordBreak()});
}

void takeArgument(std::int16_t index, NameField& field, std::string_view echo) {
  std::int16_t scratchStatus = 0;
  fetchArgument(index, field, &scratchStatus);
  writeLayoutRecord({LayoutItem::text(" "), LayoutItem::text(echo), LayoutItem::chars40(asText(field))});
}

void askForName(std::string_view prompt, NameField& field) {
  writeLayoutRecord({LayoutItem::text(" "), LayoutItem::text(prompt), LayoutItem::keepOpen()});
  readConsoleLine(field);
}

// The names follow the options: from the command line when it holds three
// of them, else typed at the prompts.
NameFields obtainNames(std::int16_t first) {
  NameFields names;
  if (argumentCount() >= first + 3) {
    takeArgument(first, names.wx, "File Name of the WX stereo   file = ");
    takeArgument(static_cast<std::int16_t>(first + 1), names.yz, "File Name of the YZ stereo   file = ");
    takeArgument(static_cast<std::int16_t>(first + 2), names.output, "File Name of the .WAV output file = ");
  } else {
    askForName("Name of the WX stereo .WAV      file = ", names.wx);
    askForName("Name of the YZ stereo .WAV      file = ", names.yz);
    askForName("Name of the B-form .WAV output  file = ", names.output);
  }
  return names;
}

// An unknown frame count (data up to the end of a stream) shows as -1.
void writeSummary(std::string_view pointsLabel, std::string_view rateLabel, Frames frames,
                  const FormatFields& wx) {
  writeValueListRecord({ListValue::string(pointsLabel), ListValue::int64(frames.value_or(-1)),
                        ListValue::string(" with "), ListValue::int16(static_cast<std::int16_t>(wx.channels)),
                        ListValue::string(" Channels")});
  writeValueListRecord(
      {ListValue::string(rateLabel), ListValue::int32(static_cast<std::int32_t>(wx.sampleRate)),
       ListValue::string(" with "), ListValue::int16(static_cast<std::int16_t>(wx.bitsPerSample)),
       ListValue::string(" Bits")});
}

// An output named "*.amb", in any case, is labelled as ambisonic B-format.
// The name is taken as the file's: up to its first NUL, without the blanks
// that pad the field.
bool namesAmbisonicFile(std::string_view field) {
  std::string_view name = field.substr(0, field.find('\0'));
  while (!name.empty() && name.back() == ' ')
    name.remove_suffix(1);
  if (name.size() < 4) return false;
  std::string extension(name.substr(name.size() - 4));
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".amb";
}

void openInput(int unit, const NameField& name) { openUnit(unit, asText(name), UnitAction::read); }

}  // namespace

void runConversion() {
  answerInformationRequest();
  writeBanner();
  const RunOptions options = readRunOptions();
  const bool ambix = options.ambix;
  const NameFields names = obtainNames(options.firstName);
  const bool ambisonic = namesAmbisonicFile(asText(names.output));
  rejectIf(checkAmbixName(ambix, ambisonic));
  const ConversionFiles files;

  const bool aligned = options.alignment != Alignment::none;

  openInput(files.wx, names.wx);
  CheckedInput wx = readWxInput(files);
  writeSummary("Number of data points #1 :", "Sampling Frequency #1 (Hz):", wx.frames, wx.input.format);
  openInput(files.yz, names.yz);
  const CheckedInput yz = readYzInput(files, wx.input, aligned);
  if (ambix) rejectIf(checkAmbixSamples(wx.input, yz.input));
  // Aligned, each summary counts its own file's frames, and the report
  // tells what of them the output takes.
  std::optional<AlignmentFacts> take;
  if (aligned) take = alignInputs(options.alignment, options.offset, wx.input, wx.frames, yz.input);
  writeSummary("Number of data points #2 :", "Sampling Frequency #2 (Hz):", take ? take->yzFrames : yz.frames,
               wx.input.format);
  if (take) {
    writeAlignmentReport(*take);
    wx.input.bext = alignedBext(*take, wx.input, yz.input, ambix);
  }

  const OutputLabel label = ambix       ? OutputLabel::ambix
                            : ambisonic ? OutputLabel::bFormat
                                        : OutputLabel::plain;
  const OutputPlan plan = planOutput(
      wx.input, yz.input, take ? take->span.frames : yz.frames, label,
      [&] { return listWxTail(files, wx.input); }, take ? std::optional(takeSpan(*take)) : std::nullopt);
  if (take) skipLeadingFrames(files, *take, plan.shape.half.length());

  BFormatOutput output(files, plan);
  output.open(asText(names.output));
  writeLayoutRecord({LayoutItem::skip(), LayoutItem::text("Outfile Fsampling ="),
                     LayoutItem::int8(static_cast<std::int32_t>(wx.input.format.sampleRate)),
                     LayoutItem::text(" Hz")});
  output.writeHeader();
  writeLayoutRecord({LayoutItem::text(" ")});
  writeLayoutRecord({LayoutItem::skip(), LayoutItem::text("Saving data to output file (s)...")});

  if (progressCanShow()) startProgress(plannedLength(plan, bytesLeftInUnit(files.wx)));
  // An input whose data ends first leaves the frames converted, settled.
  if (const std::optional<int> endedFirst = output.writeFrames()) {
    output.settle();
    failAtEndOfData(*endedFirst);
  }
  if (take && take->span.streamMayEndFirst) writeTakeEnd(output.frameRun().ranOut, output.frameRun().frames);
  output.writeTail();
  finishProgress();
  output.settle();
  writeValueListRecord({ListValue::string(" Conversion terminated OK !!!!")});

  closeUnit(files.wx);
  closeUnit(files.yz);
  closeUnit(files.output);
}

}  // namespace quadrel
