#pragma once
#include "document/Version.h"

namespace lumo {

// Puts the version's name and layer options into its I/O description as
// "VersionName=%s;LockAspectRatio=%s;SnapToGrid=%s;GridCellSize=%s;".
void SaveProjectParametersIntoFileDescription(Version& version);

// Takes them back from the description of a version just loaded. A key that is
// absent, or whose value does not convert, leaves the version's value as it is; a name
// holding ";" comes back cut at the first ";".
void ReadProjectParametersFromFileDescription(Version& version);

}  // namespace lumo
