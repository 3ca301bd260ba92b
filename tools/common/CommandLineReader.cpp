#include "CommandLineReader.h"

#include <cstddef>

namespace vornak {

bool ReadCommandLine(const std::vector<std::string>& args, StandardSwitches& switches,
                     const std::function<bool(const std::string& operand)>& onOperand,
                     const std::function<bool(CommandLineOption& option)>& onOption,
                     std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (!onOperand(arg)) {
                return false;
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        CommandLineOption option(args, i);
        if (option.Name() == "--help" || option.Name() == "--version") {
            if (!option.NoValue(error)) {
                return false;
            }
            (option.Name() == "--help" ? switches.help : switches.version) = true;
            continue;
        }
        if (!onOption(option)) {
            return false;
        }
    }
    return true;
}

std::string UsageErrorText(const std::string& program, const std::string& problem) {
    return program + ": " + problem + "\n" + "Try '" + program + " --help' for more information.\n";
}

}  // namespace vornak
