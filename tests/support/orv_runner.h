// Running the orv binary from tests.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "files.h"
#include "lcd/orv_reader.h"

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

// A refusal: exit status `status`, and one line on standard error that says `says`.
inline void expectRefusal(const Outcome& o, int status, const std::string& says) {
    EXPECT_EQ(o.status, status) << says << ": " << o.err;
    EXPECT_NE(o.err.find(says), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
}

// orv with `args`, under ulimit -v `addressSpaceKib` if not 0; output via `scratch`.
inline Outcome runOrv(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                      long addressSpaceKib = 0) {
    std::string cmd = shellQuote(ORV_CLI);
    if (addressSpaceKib > 0) {
        cmd = "ulimit -v " + std::to_string(addressSpaceKib) + " && exec " + cmd;
    }
    for (const auto& a : args) cmd.append(" ").append(shellQuote(a));
    const std::string outFile = scratch / "stdout.txt", errFile = scratch / "stderr.txt";
    cmd.append(" >").append(shellQuote(outFile)).append(" 2>").append(shellQuote(errFile));
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(errFile), readFile(outFile)};
}

// Starts `program` with `words`; its output to the files `out` and `err` where given.
inline pid_t start(const char* program, std::vector<std::string> words, const std::string& out = "",
                   const std::string& err = "") {
    words.insert(words.begin(), program);
    const pid_t child = ::fork();
    if (child == 0) {
        if (!out.empty() && !std::freopen(out.c_str(), "w", stdout)) ::_exit(127);
        if (!err.empty() && !std::freopen(err.c_str(), "w", stderr)) ::_exit(127);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    return child;
}

inline pid_t startOrv(std::vector<std::string> words, const std::string& out = "",
                      const std::string& err = "") {
    return start(ORV_CLI, std::move(words), out, err);
}

// The exit status of a child that has ended (-1 for a signal), or -2.
inline int ended(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) != child) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Its exit status within `seconds`, else -1 and it is killed.
inline int exitStatus(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (const int status = ended(child); status != -2) return status;
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

// Every record of a frame file, read by the core's strict reader.
inline std::vector<Frame> readFrames(const std::string& file) {
    std::vector<Frame> all;
    auto r = readFrameFile(file, [&](const Frame& f) { all.push_back(f); });
    EXPECT_TRUE(r.ok()) << r.error();
    return all;
}

// The temporary files ("NAME.part-...") a run has left in `dir`.
inline std::vector<std::filesystem::path> temporaries(const std::filesystem::path& dir,
                                                      const std::string& name = "") {
    std::vector<std::filesystem::path> found;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename().string().find(name + ".part-") != std::string::npos)
            found.push_back(e.path());
    }
    return found;
}

// Clips made once for a suite with the ffmpeg program, and beside them a
// scratch folder for each test.
class ClipTest : public ::testing::Test {
  protected:
    static inline std::unique_ptr<TempDir> clips_;
    // ffmpeg ARGS CLIPS/NAME.
    static void makeClip(const std::string& args, const std::string& name) {
        const std::string cmd =
            "ffmpeg -hide_banner -loglevel error -y " + args + " " + shellQuote(clip(name));
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    static void TearDownTestSuite() { clips_.reset(); }
    void SetUp() override {
        dir_ = clips_->path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir_);
    }
    // CLIPS/NAME; the first of a suite makes the folder.
    static std::string clip(const std::string& name) {
        if (!clips_) clips_ = std::make_unique<TempDir>("orv-clips");
        return clips_->file(name);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // orv with `args`, and with the environment variable `off` set to 1 when given.
    Outcome orv(const std::vector<std::string>& args, const char* off = nullptr) const {
        if (off) ::setenv(off, "1", 1);
        Outcome o = runOrv(args, dir_);
        if (off) ::unsetenv(off);
        return o;
    }
    // orv convert CLIP -o OUT EXTRA...
    Outcome convert(const std::string& name, const std::string& out,
                    const std::vector<std::string>& extra = {}, const char* off = nullptr) const {
        std::vector<std::string> args{"convert", clip(name), "-o", out};
        args.insert(args.end(), extra.begin(), extra.end());
        return orv(args, off);
    }
    static constexpr auto& frames = readFrames;

    std::filesystem::path dir_;
};

}  // namespace orv::test
