// The part of reading a command line that every program with GNU-style options shares: operands
// told from options, "--" ending the options, "--name=value", and --help and --version.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CommandLineOption.h"

namespace vornak {

// --help and --version, which each program takes as plain switches.
struct StandardSwitches {
    bool help = false;
    bool version = false;
};

// Reads `args` (without the program name) in order. An operand (anything after "--", a lone
// "-", or what does not start with '-') goes to `onOperand`; --help and --version set their
// switch in `switches`; every other option goes to `onOption`, which takes its value through the
// option. A handler returns false with `error` set to stop the reading; so does --help or
// --version given a value. True when all of `args` was read.
bool ReadCommandLine(const std::vector<std::string>& args, StandardSwitches& switches,
                     const std::function<bool(const std::string& operand)>& onOperand,
                     const std::function<bool(CommandLineOption& option)>& onOption,
                     std::string& error);

// What a program prints for a command line it cannot use: the problem, then where to read more.
std::string UsageErrorText(const std::string& program, const std::string& problem);

}  // namespace vornak
