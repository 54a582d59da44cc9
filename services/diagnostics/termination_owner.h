// Which thread ends the process.
//
// The first thread that begins to end the process owns the ending; any
// other thread that tries afterwards is parked for good, since the owner
// will exit. Everything here is async-signal-safe.
#pragma once

namespace quadrel {

enum class TerminationClaim { won, alreadyOwner };

// Makes the calling thread the owner of the ending. Parks the caller, never
// returning, when another thread owns it.
TerminationClaim claimTermination();

// True when a thread other than the caller owns the ending.
bool terminationOwnedElsewhere();

}  // namespace quadrel
