#pragma once

#include "bytes.h"
#include "programfiles.h"

namespace Tarnwick {

// Gives the data labels of the linked program their types (see DataTypes): where each lies
// from the linked program, how far its data goes from its unit's object, and the size of
// its elements from the statement it labels in its source. A local label that several
// sources define is left as it was, as is a program that cannot be read.
void typeDataLabels(const ProgramFiles &program, Bytes *linked);

} // namespace Tarnwick
