// A PulseAudio server of the test's own, with a null sink whose monitor parec records, so that
// a test can hear what the preview plays on a machine without a sound card. Everything it
// starts is stopped again by Stop or the destructor, also when a test fails halfway.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornak::test {

class PrivateSoundServer {
  public:
    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;

    // `dir` holds the server's socket, configuration and log; it must outlive the server.
    explicit PrivateSoundServer(std::string dir);
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Starts the server and points this process's sound clients at it (PULSE_SERVER), which
    // must happen before Qt first looks for sound devices. False, with Error() saying why, when
    // no server could start.
    bool Start();
    // Records the null sink's monitor, raw s16le stereo at kRate, into `path` too.
    bool StartRecording(const std::string& path);
    // Stops the server (the recording ends with it). Safe to call again.
    void StopServer();
    void StopRecording();

    const std::string& Error() const { return m_error; }
    // Interleaved stereo samples recorded so far.
    std::vector<std::int16_t> Samples() const;
    // When the recording's first sample was played into the sink, on the steady clock. Taken
    // as the earliest that any read of the recording allows: a read that brings the recording
    // to N frames at time t shows frame 0 was played no later than t - N / kRate. Later than
    // the truth by the shortest delivery delay seen (at most parec's fragment, 10 ms).
    std::chrono::steady_clock::time_point RecordingStart() const;

  private:
    pid_t Spawn(const std::vector<std::string>& args, int stdoutFd);
    bool Ready();
    void ReadRecording(int fd);
    static void StopProcess(pid_t& pid);

    std::string m_dir;
    std::string m_socket;
    std::string m_error;
    pid_t m_server = -1;
    pid_t m_parec = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::vector<std::int16_t> m_samples;
    std::string m_recordingPath;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::time_point::max();
};

}  // namespace vornak::test
