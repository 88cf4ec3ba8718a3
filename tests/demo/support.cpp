#include "support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "assets/a3f.h"
#include "engine/win.h"
#include "recorder.h"

namespace {
std::vector<std::string> gDirs;
void RemoveDirs() {
    for (const std::string& d : gDirs) std::filesystem::remove_all(d);
}
}  // namespace

std::string WriteDataDir(const std::vector<MeshFile>& meshes) {
    char pattern[] = "/tmp/teq-demo-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    if (gDirs.empty()) std::atexit(RemoveDirs);
    gDirs.push_back(dir);
    for (const MeshFile& file : meshes) {
        qor::A3fMesh mesh;
        for (const std::vector<MeshVertex>& vertices : file.objects) {
            mesh.objects.push_back(qor::A3fObject{vertices, {}});
        }
        std::string error;
        if (!qor::WriteA3fFile(std::string(dir) + "/" + file.name, mesh, error)) std::abort();
    }
    return dir;
}

MeshVertex Vertex(float x, float y, float z, float ny, uint32_t color, float u, float v) {
    return MeshVertex{x, y, z, 0, ny, 1 - ny, color, u, v};
}

std::vector<std::string> RunDemo(const std::string& dataDir, const std::vector<float>& times,
                                 float level, bool vertices) {
    trace::Reset();
    trace::SetDataDir(dataDir);
    trace::SetFrameTimes(times);
    trace::SetSoundLevel(level);
    trace::SetVertexDump(vertices);
    WinMain(nullptr, nullptr, nullptr, 0);
    return trace::Lines();
}

std::vector<std::string> Capture(const std::function<void()>& f, float level, bool vertices) {
    trace::Reset();
    trace::SetSoundLevel(level);
    trace::SetVertexDump(vertices);
    f();
    return trace::Lines();
}

std::vector<std::string> Frame(const std::vector<std::string>& log, size_t k) {
    std::vector<std::string> out;
    size_t seen = 0;
    for (const std::string& line : log) {
        if (line.rfind("# frame ", 0) == 0) {
            if (seen++ > k) break;
        } else if (seen == k + 1) {
            out.push_back(line);
        }
    }
    return out;
}

Call Parse(const std::string& line) {
    Call call;
    const size_t open = line.find('('), close = line.rfind(')');
    call.name = line.substr(0, open);
    std::string args = line.substr(open + 1, close - open - 1);
    for (size_t start = 0; !args.empty();) {
        const size_t comma = args.find(", ", start);
        call.args.push_back(args.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 2;
    }
    if (line.size() > close + 4) call.result = line.substr(close + 4);
    return call;
}

double Arg(const std::string& line, size_t i) { return std::stod(Parse(line).args.at(i)); }

std::vector<double> Fields(const std::string& line) {
    std::vector<double> out;
    const char* p = line.c_str();
    char* end;
    while (*p) {
        while (*p == ' ') p++;
        if (!*p) break;
        out.push_back(p[0] == '0' && p[1] == 'x' ? double(std::strtoul(p, &end, 16))
                                                 : std::strtod(p, &end));
        p = end;
    }
    return out;
}

int Find(const std::vector<std::string>& lines, const std::string& prefix, int from) {
    for (size_t i = size_t(from); i < lines.size(); i++) {
        if (lines[i].rfind(prefix, 0) == 0) return int(i);
    }
    return -1;
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
    return n;
}

int FindRun(const std::vector<std::string>& lines, const std::vector<std::string>& piece,
            int from) {
    for (size_t i = size_t(from); i + piece.size() <= lines.size(); i++) {
        if (std::equal(piece.begin(), piece.end(), lines.begin() + long(i))) return int(i);
    }
    return -1;
}
