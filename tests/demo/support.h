// Test support: data folders of small meshes, demo runs on the call recorder,
// readers for its log lines.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assets/a3f.h"
#include "engine/win.h"
#include "recorder.h"

using Lines = std::vector<std::string>;
using Objects = std::vector<std::vector<MeshVertex>>;

// A vertex at (x, y, z) with normal (0, ny, 1 - ny).
inline MeshVertex Vertex(float x, float y, float z, float ny = 0, uint32_t color = 0xff808080, float u = 0,
                         float v = 0) {
    return MeshVertex{x, y, z, 0, ny, 1 - ny, color, u, v};
}

// Writes the meshes into a fresh temporary folder, removed at exit.
inline std::string WriteDataDir(const std::vector<std::pair<const char*, Objects>>& meshes) {
    static std::vector<std::string> dirs;
    char pattern[] = "/tmp/teq-demo-test-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    if (dirs.empty())
        std::atexit([] {
            for (auto& d : dirs) std::filesystem::remove_all(d);
        });
    dirs.push_back(pattern);
    for (const auto& [name, objects] : meshes) {
        qor::A3fMesh mesh;
        for (const auto& vertices : objects) mesh.objects.push_back({vertices, {}});
        std::string error;
        if (!qor::WriteA3fFile(dirs.back() + "/" + name, mesh, error)) std::abort();
    }
    return dirs.back();
}

// Runs WinMain (loading sequence, then one frame per time) and returns the log.
inline Lines RunDemo(const std::string& dir, const std::vector<float>& times, float level = 0, bool vertices = false) {
    trace::Reset();
    trace::SetDataDir(dir);
    trace::SetFrameTimes(times);
    trace::SetSoundLevel(level);
    trace::SetVertexDump(vertices);
    WinMain(nullptr, nullptr, nullptr, 0);
    return trace::Lines();
}

// The log of what f calls.
inline Lines Capture(const std::function<void()>& f, float level = 0, bool vertices = false) {
    trace::Reset();
    trace::SetSoundLevel(level);
    trace::SetVertexDump(vertices);
    f();
    return trace::Lines();
}

// Lines of frame k of a run, without its "# frame" line.
inline Lines Frame(const Lines& log, size_t k) {
    Lines out;
    size_t seen = 0;
    for (const std::string& l : log) {
        if (l.rfind("# frame ", 0) == 0)
            seen++;
        else if (seen == k + 1)
            out.push_back(l);
    }
    return out;
}

// Argument i of a call line "Name(a, b, ...)", as text or as a number.
inline std::string ArgText(const std::string& line, size_t i) {
    size_t start = line.find('(') + 1;
    for (; i > 0; i--) start = line.find(", ", start) + 2;
    return line.substr(start, std::min(line.find(", ", start), line.find(')', start)) - start);
}
inline double Arg(const std::string& line, size_t i) { return std::stod(ArgText(line, i)); }

// The fields of a vertex line ("  x y z ..."); strtod reads the 0x colour too.
inline std::vector<double> Fields(const std::string& line) {
    std::vector<double> out;
    char* end;
    for (const char* p = line.c_str(); *p; p = end) {
        out.push_back(std::strtod(p, &end));
        if (end == p) break;
    }
    return out;
}

inline bool Starts(const std::string& l, const std::string& prefix) { return l.rfind(prefix, 0) == 0; }

// First line at or after from that starts with prefix, or -1.
inline int Find(const Lines& lines, const std::string& prefix, int from = 0) {
    for (size_t i = size_t(from); i < lines.size(); i++)
        if (Starts(lines[i], prefix)) return int(i);
    return -1;
}

inline int Count(const Lines& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines) n += Starts(l, prefix);
    return n;
}

// Where piece occurs in lines as a contiguous run, at or after from; -1 if not.
inline int FindRun(const Lines& lines, const Lines& piece, int from = 0) {
    for (size_t i = size_t(from); i + piece.size() <= lines.size(); i++)
        if (std::equal(piece.begin(), piece.end(), lines.begin() + long(i))) return int(i);
    return -1;
}

// The main data set: every mesh, "scene1.a3f" with four objects; tunnel
// objects start with a vertex at z = 0, whose v then gives the copy's depth.
inline const std::string& Data() {
    static const std::string dir = WriteDataDir({
        {"knot.a3f", {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}},
        {"geo.a3f",
         {{Vertex(1, 2, 3), Vertex(-4, 5, -6), Vertex(0, 0, 1)},
          {Vertex(1, 2, 3, 0, 0x11223344, 0.5f, 0.25f), Vertex(2, 0, 0), Vertex(0, 2, 0)}}},
        {"scene1.a3f", Objects(4, {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)})},
        {"tunnel.a3f",
         {{Vertex(10, 0, 0), Vertex(0, 20, -25, 1), Vertex(5, 5, -50, 0.5f)},
          {Vertex(0, -20, 0), Vertex(20, 0, -25), Vertex(0, 20, -50)},
          {Vertex(0, 0, 0), Vertex(-20, 0, -25), Vertex(0, -20, -50)}}},
        {"sieni.a3f", {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}},
    });
    return dir;
}

// Runs the loading sequence and a grid frame (which loads the knot) once, so
// that scenes can be called directly.
inline void EnsurePrepared() {
    static const bool done = (RunDemo(Data(), {30.0f}), true);
    (void)done;
}
