#include "ToolVersion.h"

namespace vornak {

std::string ToolVersionLine(const std::string& program) {
    return program + " (Vornak) " + kToolVersion + "\n";
}

}  // namespace vornak
