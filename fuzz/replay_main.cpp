// Runs a fuzz target once on every file of the given files and directories,
// so that the seeds and the inputs of past crashes stay tested in every build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so reading past it is caught.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int inputs = 0;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.emplace_back(argv[i]);
        }
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            std::printf("replaying %s\n", f.c_str());
            std::fflush(stdout);
            failures += replay(f);
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    // An empty corpus means a wrong path, not a pass.
    return inputs == 0 || failures > 0 ? 1 : 0;
}
