// Writes the test module to a file: make_test_module FILE ROWS.
#include <cstdio>
#include <cstdlib>

#include "test_module.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_test_module FILE ROWS\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = MakeTestModule(std::atoi(argv[2]));
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
