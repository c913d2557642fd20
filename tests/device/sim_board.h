// The reference receiver on a simulated board (orv_sim, beside this file):
// started before the sender opens its port, finished once the sender is done,
// with the report of what its display showed.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace orv::test {

struct BoardReport {
    // For each frame expected, when the display RAM first equalled it, in
    // simulated and in wall clock microseconds from the board's start; -1
    // when it never did.
    std::vector<long long> shownAt, shownWall;
    // The report's "key=value" counts (on, inverted, boot, overruns, acks,
    // first: the first byte's wall clock time...).
    std::map<std::string, double> counts;
    double count(const std::string& key) const {
        const auto it = counts.find(key);
        return it == counts.end() ? -1 : it->second;
    }
    long shown() const {
        long n = 0;
        for (long long t : shownAt) n += t >= 0;
        return n;
    }
    // Frames a second the display reached, on the wall clock: the frames
    // shown, from the first byte that came to the last frame shown.
    double framesPerSecond() const {
        long long last = -1;
        for (long long t : shownWall) last = std::max(last, t);
        const double seconds = (last - count("first")) / 1e6;
        return seconds > 0 ? shown() / seconds : 0;
    }
};

class SimBoard {
  public:
    struct Options {
        bool realtime = false;
        std::vector<std::string> faults;  // KIND@OFFSET, as orv_sim takes them
    };

    // Runs `firmware` with its port at FOLDER/board, its display checked
    // against `frames` frames of `expect` (the display's bytes).
    SimBoard(const std::filesystem::path& folder, const std::string& firmware,
             const std::string& expect, std::size_t frames, const Options& options)
        : port_((folder / "board").string()),
          report_((folder / "board.txt").string()),
          frames_(frames) {
        std::filesystem::remove(port_);
        std::vector<std::string> words{ORV_SIM,    firmware, "--pty",    port_,
                                       "--report", report_,  "--expect", expect};
        if (options.realtime) words.push_back("--realtime");
        for (const auto& f : options.faults) words.insert(words.end(), {"--fault", f});
        const std::string log = (folder / "board.log").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            if (!std::freopen(log.c_str(), "w", stdout)) ::_exit(127);
            std::vector<char*> argv;
            for (auto& w : words) argv.push_back(w.data());
            argv.push_back(nullptr);
            ::execv(ORV_SIM, argv.data());
            ::_exit(127);
        }
        for (int i = 0; i < 500 && !std::filesystem::exists(port_); ++i) ::usleep(10000);
    }
    ~SimBoard() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    bool ready() const { return std::filesystem::exists(port_); }
    const std::string& port() const { return port_; }

    // The sender is done: the board takes what is still on its way, then
    // reports.
    BoardReport finish() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        BoardReport r;
        r.shownAt.assign(frames_, -1);
        r.shownWall.assign(frames_, -1);
        std::ifstream in(report_);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string kind;
            words >> kind;
            if (kind == "shown") {
                std::size_t frame = 0;
                long long at = 0, wall = 0;
                words >> frame >> at >> wall;
                if (frame < frames_) {
                    r.shownAt[frame] = at;
                    r.shownWall[frame] = wall;
                }
                continue;
            }
            for (std::string pair; words >> pair;) {
                const auto eq = pair.find('=');
                if (eq != std::string::npos)
                    r.counts[pair.substr(0, eq)] = std::stod(pair.substr(eq + 1));
            }
        }
        return r;
    }

  private:
    std::string port_, report_;
    std::size_t frames_;
    pid_t pid_ = -1;
};

}  // namespace orv::test
