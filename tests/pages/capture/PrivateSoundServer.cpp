#include "PrivateSoundServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace vornak::test {
namespace {

using namespace std::chrono_literals;

constexpr char kSinkName[] = "vornak_null";
constexpr auto kStartLimit = 10s;
constexpr auto kStopLimit = 3s;
constexpr auto kPoll = 20ms;
// parec's fragment: how late a read may at most come after the sound it carries was played.
constexpr char kParecLatencyMs[] = "10";
constexpr std::size_t kReadBytes = 4096;

void SetVariable(std::vector<std::string>& environment, const std::string& name,
                 const std::string& value) {
    const std::string prefix = name + "=";
    std::erase_if(environment, [&](const std::string& entry) { return entry.starts_with(prefix); });
    environment.push_back(prefix + value);
}

bool Exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

PrivateSoundServer::PrivateSoundServer(std::string dir)
    : m_dir(std::move(dir)), m_socket(m_dir + "/native") {}

PrivateSoundServer::~PrivateSoundServer() {
    StopServer();
    StopRecording();
}

pid_t PrivateSoundServer::Spawn(const std::vector<std::string>& args, int stdoutFd) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    // A private home and runtime folder: the server runs as whoever runs the test, root in CI,
    // without a session bus, and must find nothing of another server's.
    SetVariable(environment, "HOME", m_dir + "/home");
    SetVariable(environment, "XDG_RUNTIME_DIR", m_dir + "/run");
    SetVariable(environment, "PULSE_RUNTIME_PATH", m_dir + "/run");
    SetVariable(environment, "PULSE_STATE_PATH", m_dir + "/state");
    SetVariable(environment, "PULSE_SERVER", "unix:" + m_socket);
    SetVariable(environment, "PULSE_CLIENTCONFIG", m_dir + "/client.conf");
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = args;
    std::vector<char*> argv;
    for (std::string& arg : argCopy) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = m_dir + "/" + args[0] + ".log";
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

bool PrivateSoundServer::Ready() {
    const pid_t pactl = Spawn({"pactl", "info"}, -1);
    if (pactl < 0) {
        return false;
    }
    int status = 0;
    waitpid(pactl, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PrivateSoundServer::Start() {
    for (const char* sub : {"/home", "/run", "/state"}) {
        std::filesystem::create_directories(m_dir + sub);
    }
    {
        // A client that loses the server must not start one of its own behind the test's back.
        std::ofstream client(m_dir + "/client.conf");
        client << "autospawn = no\n";
        std::ofstream script(m_dir + "/server.pa");
        script << "load-module module-null-sink sink_name=" << kSinkName
               << " rate=48000 channels=2\n"
               << "set-default-sink " << kSinkName << "\n"
               << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << m_socket
               << "\n";
    }
    m_server = Spawn(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
         "--disallow-exit", "--disable-shm=yes", "--log-target=stderr", "-F", m_dir + "/server.pa"},
        -1);
    if (m_server < 0) {
        m_error = "the pulseaudio program could not be started (is it installed?)";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (!Ready()) {
        if (Exited(m_server)) {
            m_server = -1;
            m_error = "pulseaudio stopped at once; its log is " + m_dir + "/pulseaudio.log";
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            StopServer();
            m_error = "pulseaudio did not answer pactl within 10 s";
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    ::setenv("PULSE_SERVER", ("unix:" + m_socket).c_str(), 1);
    ::setenv("PULSE_CLIENTCONFIG", (m_dir + "/client.conf").c_str(), 1);
    return true;
}

bool PrivateSoundServer::StartRecording(const std::string& path) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    m_recordingPath = path;
    m_parec = Spawn({"parec", "--raw", "--format=s16le", "--rate=48000", "--channels=2",
                     std::string("--latency-msec=") + kParecLatencyMs,
                     std::string("--device=") + kSinkName + ".monitor"},
                    fds[1]);
    ::close(fds[1]);
    if (m_parec < 0) {
        ::close(fds[0]);
        return false;
    }
    m_reader = std::thread([this, fd = fds[0]] { ReadRecording(fd); });
    // parec takes a while to connect; what is played before then would go unheard.
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (Samples().empty()) {
        if (Exited(m_parec)) {
            m_parec = -1;
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

void PrivateSoundServer::ReadRecording(int fd) {
    std::FILE* file = std::fopen(m_recordingPath.c_str(), "wb");
    std::vector<char> buffer(kReadBytes);
    std::size_t pending = 0;  // bytes of a sample split between two reads
    std::uint64_t bytes = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + pending, buffer.size() - pending);
        if (got <= 0) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (file != nullptr) {
            std::fwrite(buffer.data() + pending, 1, static_cast<std::size_t>(got), file);
        }
        bytes += static_cast<std::uint64_t>(got);
        const std::size_t have = pending + static_cast<std::size_t>(got);
        const std::size_t whole = have - have % sizeof(std::int16_t);
        const std::uint64_t frames = bytes / (sizeof(std::int16_t) * kChannels);
        const auto sinceStart = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(static_cast<double>(frames) / kRate));
        {
            std::lock_guard lock(m_mutex);
            const std::size_t at = m_samples.size();
            m_samples.resize(at + whole / sizeof(std::int16_t));
            std::memcpy(m_samples.data() + at, buffer.data(), whole);
            m_start = std::min(m_start, now - sinceStart);
        }
        pending = have - whole;
        std::memmove(buffer.data(), buffer.data() + whole, pending);
    }
    ::close(fd);
    if (file != nullptr) {
        std::fclose(file);
    }
}

std::vector<std::int16_t> PrivateSoundServer::Samples() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::chrono::steady_clock::time_point PrivateSoundServer::RecordingStart() const {
    std::lock_guard lock(m_mutex);
    return m_start;
}

void PrivateSoundServer::StopProcess(pid_t& pid) {
    if (pid < 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    while (!Exited(pid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(kPoll);
    }
    pid = -1;
}

void PrivateSoundServer::StopServer() {
    StopProcess(m_server);
}

void PrivateSoundServer::StopRecording() {
    StopProcess(m_parec);
    if (m_reader.joinable()) {
        m_reader.join();
    }
}

}  // namespace vornak::test
