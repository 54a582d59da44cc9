// The progress line of a long conversion, on a terminal only.
//
// While the frames and the tail are written, standard error, when it is the
// terminal itself and FORT0 does not redirect the reports, shows one line
// rewritten in place: per cent done when the output's length is known,
// bytes written, and the rate. It first shows one second after the start
// and changes at most ten times a second, so a short run writes nothing.
// The line is erased before every console record, every report and every
// way of ending; the erasing is one write of fixed bytes, safe inside a
// signal handler or while the owner thread is stopped.
//
// The units count what they hand to the system for their output; the
// converter only starts the progress and finishes it.
#pragma once

#include <cstdint>
#include <optional>

namespace quadrel {

// Whether a progress line can show in this process at all.
bool progressCanShow();

// Starts the progress of the frames and the tail: `total` is the length
// the output will have, nothing when it is not known ahead. Does nothing
// where no line can show.
void startProgress(std::optional<std::uint64_t> total);

// Counts `bytes` more of the output handed to the system, and draws the
// line when it is due. Owner thread only; reads the clock only while a
// progress runs.
void countOutputBytes(std::uint64_t bytes);

// Ends the progress and erases its line.
void finishProgress();

// Erases the line if it shows. Async-signal-safe.
void eraseProgressLine();

}  // namespace quadrel
