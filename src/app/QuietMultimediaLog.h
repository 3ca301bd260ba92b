// Qt Multimedia tells the terminal about every sound server it cannot reach, on every start of a
// desktop without one. The program says what matters of that in its own log (no audio output:
// the preview plays without sound), so those lines are only noise and are kept off the terminal.
#pragma once

#include <QString>

namespace vornak {

// True for Qt Multimedia's own reports: its logging categories ("qt.multimedia" and below) and
// the sound-server lines it prints in the default category.
bool IsMultimediaNoise(const char* category, const QString& message);

// Turns the qt.multimedia categories off (QT_LOGGING_RULES still overrides that) and installs a
// message handler that drops what IsMultimediaNoise names and hands everything else on to the
// handler that was there before. Call once, early in main().
void QuietMultimediaLog();

}  // namespace vornak
