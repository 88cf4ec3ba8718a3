// teq-pngdiff A.png B.png [MAX_PIXELS MAX_LEVELS]: how two pictures of the
// same size differ: the number of pixels and the largest difference of one
// channel, in levels. Exit 0 when within the limits (default: identical),
// 1 when not, 2 when a file cannot be read or the sizes differ.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/images.h"

namespace {

bool Load(const char* path, qor::Picture& picture) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (!in.eof() && !in) error = "cannot read the file";
    if (error.empty() && qor::DecodePng(bytes.data(), bytes.size(), picture, error)) return true;
    std::fprintf(stderr, "teq-pngdiff: %s: %s\n", path, error.c_str());
    return false;
}

}   // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: teq-pngdiff A.png B.png [MAX_PIXELS MAX_LEVELS]\n");
        return 2;
    }
    qor::Picture a, b;
    if (!Load(argv[1], a) || !Load(argv[2], b)) return 2;
    if (a.width != b.width || a.height != b.height) {
        std::fprintf(stderr, "teq-pngdiff: %dx%d against %dx%d\n", a.width, a.height, b.width, b.height);
        return 2;
    }
    long pixels = 0;
    int worst = 0;
    for (size_t i = 0; i < a.argb.size(); ++i) {
        if (a.argb[i] == b.argb[i]) continue;
        ++pixels;
        for (int shift = 0; shift < 32; shift += 8) {
            const int d = std::abs(int((a.argb[i] >> shift) & 0xFF) - int((b.argb[i] >> shift) & 0xFF));
            if (d > worst) worst = d;
        }
    }
    std::printf("%ld pixels differ, worst by %d levels\n", pixels, worst);
    const long maxPixels = argc == 5 ? std::atol(argv[3]) : 0;
    const int maxLevels = argc == 5 ? std::atoi(argv[4]) : 0;
    return pixels <= maxPixels && worst <= maxLevels ? 0 : 1;
}
