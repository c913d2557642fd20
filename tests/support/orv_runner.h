// Running the orv binary from tests.
#pragma once

#include <sys/wait.h>

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

}  // namespace orv::test
