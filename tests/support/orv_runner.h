// Running the orv binary from tests.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "files.h"

namespace orv::test {

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Outcome {
    int status;
    std::string err;
    std::string out;
};

// Runs the orv binary with `args`; its output goes through files in `scratch`.
// A nonzero `addressSpaceKib` limits the address space it may take (ulimit -v).
inline Outcome runOrv(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                      long addressSpaceKib = 0) {
    std::string cmd = shellQuote(ORV_CLI);
    if (addressSpaceKib > 0) {
        cmd = "ulimit -v " + std::to_string(addressSpaceKib) + " && exec " + cmd;
    }
    for (const auto& a : args) cmd.append(" ").append(shellQuote(a));
    const std::string outFile = (scratch / "stdout.txt").string();
    const std::string errFile = (scratch / "stderr.txt").string();
    cmd.append(" >").append(shellQuote(outFile)).append(" 2>").append(shellQuote(errFile));
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(errFile), readFile(outFile)};
}

// Starts orv with `words` in a child process (its output as the test's own).
inline pid_t startOrv(std::vector<std::string> words) {
    words.insert(words.begin(), ORV_CLI);
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        ::execv(ORV_CLI, argv.data());
        ::_exit(127);
    }
    return child;
}

// Waits up to `seconds` for the child to end; its exit status, or -1 (then it
// is killed).
inline int exitStatus(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

// A test with a scratch folder of its own, where orv runs.
class OrvTest : public ::testing::Test {
  protected:
    explicit OrvTest(const std::string& tag) : dir_(tag) {}
    std::string path(const std::string& name) const { return dir_.file(name); }
    Outcome orv(const std::vector<std::string>& args, long addressSpaceKib = 0) const {
        return runOrv(args, dir_.path(), addressSpaceKib);
    }
    TempDir dir_;
};

}  // namespace orv::test
