// Starts and ends the program: raises its priority, creates the window and, at the end,
// destroys it, which writes the settings.
#pragma once

#include <memory>

#include "CVornakSheets.h"

namespace vornak {

class CVornakApp {
  public:
    // False when the window could not be created: the program ends without an event loop.
    bool InitInstance();
    // Deletes the window object; returns `loopResult`, the event loop's exit code.
    int ExitInstance(int loopResult);

    CVornakSheets* Sheet() const { return m_pSheet.get(); }

  private:
    std::unique_ptr<CVornakSheets> m_pSheet;
};

// Asks for a higher scheduling priority for this thread and the threads it starts later; a
// refusal (no privilege) is ignored.
void RaiseProcessPriority();

}  // namespace vornak
