// The small pictures on the tape transport buttons, drawn rather than shipped as files.
#pragma once

#include <QIcon>

namespace vornak {

enum class TransportIcon { kRewind, kPlay, kFastForward, kPause, kStop, kRecord };

// A 16 x 16 icon in the button text's colour (the record dot is red).
QIcon MakeTransportIcon(TransportIcon kind);

}  // namespace vornak
