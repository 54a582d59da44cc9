// Test layer: makes the Nth platform call of a kind fail with a given error.
//
// Used only by the test build of the program (tests/support/), never by the
// program itself.
#pragma once

#include "platform/platform.h"

namespace quadrel::platform {

enum class CallKind { open, read, write, cut, rewind, close, size };

// The `nth` call of `kind` counted from now (1 = the next one) fails with
// `error` and moves nothing.
void failCall(CallKind kind, int nth, SystemError error);

}  // namespace quadrel::platform
