// The settle's promise: when the plan knew every size and the frames and
// the tail came out whole, the settled header is the one first written.
// Where the plan is wrong, a regular file would be repaired in silence and
// a pipe would keep the wrong header. The programs built for the tests
// check the promise (QUADREL_CHECK_SETTLE); the one that ships does not.
#pragma once

#include <cstddef>
#include <span>

namespace quadrel {

// With the check built in, ends the run with a message on the error stream
// and status 70 when the two headers differ.
void checkSettledHeader(std::span<const std::byte> first, std::span<const std::byte> settled);

}  // namespace quadrel
