// Ends the program the ordinary way, settings saved, when the session asks it to stop
// (SIGTERM at logout or shutdown, SIGHUP when the terminal goes, SIGINT from Ctrl+C).
#pragma once

class QWidget;

namespace vornak {

// Closes `window` on the user-interface thread when one of those signals arrives. Call once.
void CloseOnTerminationSignals(QWidget* window);

}  // namespace vornak
