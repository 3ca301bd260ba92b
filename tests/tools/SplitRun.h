// Runs vornak-split in-process on string streams, for the command's tests.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "SplitCommand.h"

extern char** environ;

namespace vornak::test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline RunResult Split(const std::vector<std::string>& args, bool terminal = false,
                       std::atomic<std::uint8_t>* stop = nullptr) {
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.status = RunSplitCommand(args, out, err, terminal, stop);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// The same with standard output going to `out`; `result.out` stays empty.
inline RunResult SplitTo(std::ostream& out, const std::vector<std::string>& args) {
    std::ostringstream err;
    RunResult result;
    result.status = RunSplitCommand(args, out, err, false);
    result.err = err.str();
    return result;
}

// Runs the vornak-split program itself, standard output to `outPath` and standard error to
// `errPath`. The test's leak suppressions are not passed on: under the sanitizer builds the
// program must run clean on its own. The exit status, or -1 when it did not exit.
inline int RunSplitProgram(const std::vector<std::string>& args, const std::string& outPath,
                           const std::string& errPath) {
    std::vector<std::string> words = {VORNAK_SPLIT_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "LSAN_OPTIONS=", std::strlen("LSAN_OPTIONS=")) != 0) {
            envp.push_back(*variable);
        }
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace vornak::test
