// Runs a fuzz target's entry point over saved inputs, without libFuzzer: every
// regular file of each folder given (in name order) and each file given. The
// normal build links this into every target so that CTest replays the corpora
// under the sanitizers; a failed check or a sanitizer report ends it at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const auto first = inputs.size();
        if (fs::is_regular_file(argv[i], ec)) inputs.push_back(argv[i]);
        for (const fs::directory_entry& e : fs::directory_iterator(argv[i], ec)) {
            if (e.is_regular_file()) inputs.push_back(e.path());
        }
        std::sort(inputs.begin() + static_cast<std::ptrdiff_t>(first), inputs.end());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER|INPUT_FILE... (no inputs found)\n", argv[0]);
        return 2;
    }
    for (const fs::path& p : inputs) {
        // Named before it runs, so that a failure shows which input it was.
        std::printf("replay: %s\n", p.c_str());
        std::fflush(stdout);
        std::ifstream in(p, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        // A buffer of exactly the input's size, so that a read past its end is
        // seen by AddressSanitizer.
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::printf("replay: %zu inputs, every check held\n", inputs.size());
    return 0;
}
