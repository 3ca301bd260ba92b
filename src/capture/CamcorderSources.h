// The device sources of a real run, in the order the device list shows them: the virtual
// camcorder first, when VORNAK_VIRTUAL_CAMCORDER names a tape, then the camcorders on the
// FireWire bus.
#pragma once

#include <ostream>

namespace vornak {

// Installs them as the system device enumerator's sources. A bad virtual camcorder setting is
// reported on `errors` in one line and leaves that device out.
void InstallCamcorderSources(std::ostream& errors);

}  // namespace vornak
