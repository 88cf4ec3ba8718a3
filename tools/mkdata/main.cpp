// mkdata: writes every data file of the demo into one folder.
//   mkdata OUTDIR          all files
//   mkdata OUTDIR NAME...  only the named files
// Each file is written to a temporary name and renamed into place, so a
// failed run never leaves a half-written file behind.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "generators.h"

namespace fs = std::filesystem;

static bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    const fs::path tmp = path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "mkdata: cannot write %s\n", tmp.string().c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        std::fprintf(stderr, "mkdata: cannot rename %s: %s\n", tmp.string().c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mkdata OUTDIR [NAME...]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "mkdata: cannot create %s: %s\n", dir.string().c_str(), ec.message().c_str());
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        bool known = false;
        for (const mkdata::DataFile& f : mkdata::DataFiles()) known = known || argv[i] == std::string(f.name);
        if (!known) {
            std::fprintf(stderr, "mkdata: unknown file name %s\n", argv[i]);
            return 2;
        }
    }
    for (const mkdata::DataFile& f : mkdata::DataFiles()) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i) wanted = wanted || argv[i] == std::string(f.name);
        if (!wanted) continue;
        std::vector<uint8_t> bytes;
        try {
            bytes = f.generate();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mkdata: %s: %s\n", f.name, e.what());
            return 1;
        }
        if (!WriteFile(dir / f.name, bytes)) return 1;
    }
    return 0;
}
