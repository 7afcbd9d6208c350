#pragma once
// The timing harness of the benchmark programs: repeated measurements reduced to medians, child
// processes timed from spawn to exit, peak memory, and the result rows that scripts/bench.sh prints
// as one table. Every figure is meant to be read as a ratio against a reference taken in the same run.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The q-quantile (0..1) of the samples, linearly interpolated; NaN for no samples.
inline double quantile(std::vector<double> samples, double q)
{
    if (samples.empty())
        return kNone;
    std::sort(samples.begin(), samples.end());
    const double pos = q * static_cast<double>(samples.size() - 1);
    const auto lo = static_cast<std::size_t>(pos);
    const std::size_t hi = std::min(lo + 1, samples.size() - 1);
    return samples[lo] + (samples[hi] - samples[lo]) * (pos - static_cast<double>(lo));
}

inline double median(const std::vector<double>& samples) { return quantile(samples, 0.5); }

// How often a measurement is repeated: at least minReps, then on while the time budget lasts.
struct Budget {
    int minReps = 5;
    int maxReps = 25;
    double maxMs = 1500;
};

// One untimed warm-up call, then timed calls; the times in milliseconds.
template <class F>
std::vector<double> repeat(F&& once, Budget budget = {})
{
    once();
    std::vector<double> times;
    const auto start = Clock::now();
    while (static_cast<int>(times.size()) < budget.maxReps) {
        const auto t0 = Clock::now();
        once();
        const auto t1 = Clock::now();
        times.push_back(msBetween(t0, t1));
        if (static_cast<int>(times.size()) >= budget.minReps && msBetween(start, t1) > budget.maxMs)
            break;
    }
    return times;
}

// The measurements in turn, one call of each per round after a warm-up round, so that a slow spell of
// the machine falls on all of them alike; each one's times in milliseconds.
inline std::vector<std::vector<double>> interleaved(const std::vector<std::function<void()>>& work,
                                                    Budget budget = {})
{
    std::vector<std::vector<double>> times(work.size());
    for (const auto& once : work)
        once();
    const auto start = Clock::now();
    for (int round = 0; round < budget.maxReps; ++round) {
        for (std::size_t i = 0; i < work.size(); ++i) {
            const auto t0 = Clock::now();
            work[i]();
            times[i].push_back(msBetween(t0, Clock::now()));
        }
        if (round + 1 >= budget.minReps && msBetween(start, Clock::now()) > budget.maxMs)
            break;
    }
    return times;
}

// One line of the result table. `ours` and `ref` are medians in milliseconds unless `unit` says
// otherwise; the ratio is ours / ref. A target is either a ratio limit or a limit on `ours` itself.
struct Row {
    Row(std::string pathName, std::string caseLabel, double oursValue, std::string referenceLabel, double refValue)
        : path(std::move(pathName)), caseName(std::move(caseLabel)), ours(oursValue),
          reference(std::move(referenceLabel)), ref(refValue)
    {
    }

    std::string path;
    std::string caseName;
    double ours = kNone;
    std::string reference;
    double ref = kNone;
    double ratioLimit = kNone; // met when ours / ref <= ratioLimit
    double valueLimit = kNone; // met when ours <= valueLimit
    std::string target;        // as printed; empty for information only
    bool wrong = false;        // a correctness check failed: printed as WRONG whatever the times say
    std::string unit = "ms";
    std::string note;
};

inline std::string formatNumber(double value)
{
    if (std::isnan(value))
        return "-";
    char text[32];
    const double magnitude = std::fabs(value);
    std::snprintf(text, sizeof text, magnitude >= 100 ? "%.1f" : magnitude >= 1 ? "%.2f" : "%.3f", value);
    return text;
}

// Prints the row for the script: tab-separated fields behind the marker "ROW".
inline void emit(const Row& row)
{
    const double ratio = row.ours / row.ref;
    std::string verdict = "info";
    if (!std::isnan(row.ratioLimit))
        verdict = std::isnan(ratio) ? "n/a" : ratio <= row.ratioLimit ? "met" : "MISSED";
    else if (!std::isnan(row.valueLimit))
        verdict = std::isnan(row.ours) ? "n/a" : row.ours <= row.valueLimit ? "met" : "MISSED";
    if (row.wrong)
        verdict = "WRONG";
    const std::string unitSuffix = row.unit.empty() ? "" : " " + row.unit;
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", row.path.c_str(), row.caseName.c_str(),
                (formatNumber(row.ours) + unitSuffix).c_str(), row.reference.c_str(),
                std::isnan(row.ref) ? "-" : (formatNumber(row.ref) + unitSuffix).c_str(),
                std::isnan(ratio) ? "-" : (formatNumber(ratio) + "x").c_str(),
                row.target.empty() ? "-" : row.target.c_str(), verdict.c_str(),
                row.note.empty() ? "" : row.note.c_str());
    std::fflush(stdout);
}

// A progress line on stderr, so that a long run shows where it is.
inline void progress(const std::string& text)
{
    std::fprintf(stderr, "  .. %s\n", text.c_str());
    std::fflush(stderr);
}

// ---- child processes ------------------------------------------------------------------------------

struct ProcessResult {
    double wallMs = kNone;
    int exitCode = -1; // -1 when it could not be started or did not exit normally
    std::string out;   // standard output when captured
};

// Runs a program from spawn to exit. Standard input is /dev/null; standard output is captured or
// discarded; standard error is discarded unless keepStderr.
inline ProcessResult runProcess(const std::vector<std::string>& args, bool captureOut = false,
                                bool keepStderr = false)
{
    ProcessResult result;
    int pipeFds[2] = {-1, -1};
    if (captureOut && pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (captureOut)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!keepStderr)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (captureOut) {
        close(pipeFds[1]);
        if (spawned == 0) {
            char chunk[4096];
            ssize_t got = 0;
            while ((got = read(pipeFds[0], chunk, sizeof chunk)) > 0)
                result.out.append(chunk, static_cast<std::size_t>(got));
        }
        close(pipeFds[0]);
    }
    if (spawned != 0)
        return result;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.wallMs = msBetween(t0, Clock::now());
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

// Median wall time of a program run `reps` times after one warm-up run; NaN when any run failed.
inline double medianProcessMs(const std::vector<std::string>& args, int reps)
{
    std::vector<double> times;
    for (int i = 0; i <= reps; ++i) {
        const ProcessResult run = runProcess(args);
        if (run.exitCode != 0)
            return kNone;
        if (i > 0)
            times.push_back(run.wallMs);
    }
    return median(times);
}

// ---- memory ---------------------------------------------------------------------------------------

// A "Key:   123 kB" line of /proc/self/status, in kB; -1 when absent.
inline long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t keyLength = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':')
            return std::atol(line.c_str() + keyLength + 1);
    }
    return -1;
}

// Sets the peak resident size back to the current one, so that VmHWM afterwards is the peak of what
// follows.
inline void resetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Peak growth of the resident set while `work` runs, in bytes.
template <class F>
double peakGrowthBytes(F&& work)
{
    resetPeakRss();
    const long before = statusKb("VmRSS");
    work();
    const long peak = statusKb("VmHWM");
    return static_cast<double>(peak - before) * 1024.0;
}

// ---- files ----------------------------------------------------------------------------------------

inline std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// The value after `--name` on the command line, or `fallback`.
inline std::string option(int argc, char** argv, const std::string& name, const std::string& fallback = {})
{
    for (int i = 1; i + 1 < argc; ++i)
        if (name == argv[i])
            return argv[i + 1];
    return fallback;
}

inline std::string selfPath()
{
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

inline std::string megabytes(double bytes)
{
    return formatNumber(bytes / (1024.0 * 1024.0)) + " MiB";
}

} // namespace bench
