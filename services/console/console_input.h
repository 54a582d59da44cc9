// Console input on unit 5: one line per read, taken into a name field.
#pragma once

#include "services/console/name_field.h"

namespace quadrel {

// Reads one line and stores its first 40 bytes, blank padded to 40, then 40
// blanks. End of input and read failures end the run through the
// diagnostics; the field is then left as it was.
void readConsoleLine(NameField& field);

}  // namespace quadrel
