// Ends the program the ordinary way, settings saved, when the session asks it to stop
// (SIGTERM at logout or shutdown, SIGHUP when the terminal goes, SIGINT from Ctrl+C).
#pragma once

namespace vornak {

class CVornakSheets;

// Closes `window` on the user-interface thread when one of those signals arrives, without the
// question a running capture or split asks: nobody may be there to answer it. Call once.
void CloseOnTerminationSignals(CVornakSheets* window);

}  // namespace vornak
