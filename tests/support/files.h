// Temporary folders and whole-file reads, shared by every test suite.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace orv::test {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A frame record written out from its definition: bit k of byte c of page p
// is pixel (c, 8p + k), set where dark(c, row); each byte a decimal line, then F.
template <class Dark>
std::string recordOf(Dark dark) {
    std::string record;
    for (int p = 0; p < 8; ++p) {
        for (int c = 0; c < 128; ++c) {
            int byte = 0;
            for (int k = 0; k < 8; ++k) byte |= (dark(c, 8 * p + k) ? 1 : 0) << k;
            record += std::to_string(byte) + "\r\n";
        }
    }
    return record + "F\r\n";
}

// A fresh, empty folder of its own, removed with everything in it at the end.
class TempDir {
  public:
    explicit TempDir(const std::string& tag = "orv-test") {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::temp_directory_path() /
                (tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace orv::test
