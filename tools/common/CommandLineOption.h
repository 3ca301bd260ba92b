// One option of a command line, "--name VALUE" or "--name=VALUE", as both command-line
// programs take them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vornak {

class CommandLineOption {
  public:
    // `args[at]` is the option; a value taken from the next argument moves `at` past it.
    CommandLineOption(const std::vector<std::string>& args, std::size_t& at)
        : m_args(args), m_at(at), m_argument(args[at]), m_name(args[at]) {
        if (const std::size_t eq = m_name.find('=');
            m_name.rfind("--", 0) == 0 && eq != std::string::npos) {
            m_inlineValue = m_name.substr(eq + 1);
            m_name.resize(eq);
        }
    }

    const std::string& Name() const { return m_name; }
    // The argument as given, with any "=value".
    const std::string& Argument() const { return m_argument; }

    // The option's value; false with `error` set when there is none.
    bool TakeValue(std::string& value, std::string& error) {
        if (m_inlineValue) {
            value = *m_inlineValue;
            return true;
        }
        if (m_at + 1 >= m_args.size()) {
            error = "option " + m_name + " needs a value";
            return false;
        }
        value = m_args[++m_at];
        return true;
    }
    // False with `error` set when a switch was given a value.
    bool NoValue(std::string& error) const {
        if (m_inlineValue) {
            error = "option " + m_name + " takes no value";
            return false;
        }
        return true;
    }

  private:
    const std::vector<std::string>& m_args;
    std::size_t& m_at;
    std::string m_argument;
    std::string m_name;
    std::optional<std::string> m_inlineValue;
};

}  // namespace vornak
