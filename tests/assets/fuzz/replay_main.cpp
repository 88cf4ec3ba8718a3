// Runs a fuzz target's entry point over files and folders of inputs, for
// builds without libFuzzer: the committed corpus is replayed by ctest.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
int RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}
}   // namespace

int main(int argc, char** argv) {
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path p = argv[i];
        if (std::filesystem::is_directory(p)) {
            for (const auto& entry : std::filesystem::directory_iterator(p))
                if (entry.is_regular_file()) failures += RunFile(entry.path()), ++files;
        } else {
            failures += RunFile(p), ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return failures || files == 0 ? 1 : 0;
}
