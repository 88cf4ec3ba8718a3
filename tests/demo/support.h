// Test support: a data folder of small meshes, demo runs on the call
// recorder, and readers for its log lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/records.h"

struct MeshFile {
    const char* name;
    std::vector<std::vector<MeshVertex>> objects;
};

// Writes the meshes into a fresh temporary folder (removed at exit).
std::string WriteDataDir(const std::vector<MeshFile>& meshes);

// A vertex at (x, y, z) with normal (0, ny, 1 - ny) and the given colour, u, v.
MeshVertex Vertex(float x, float y, float z, float ny = 0, uint32_t color = 0xff808080,
                  float u = 0, float v = 0);

// Runs WinMain (loading sequence, then one frame per time) and returns the log.
std::vector<std::string> RunDemo(const std::string& dataDir, const std::vector<float>& times,
                                 float level = 0, bool vertices = false);

// The log of one call made by f.
std::vector<std::string> Capture(const std::function<void()>& f, float level = 0,
                                 bool vertices = false);

// Lines of frame k of a run, without its "# frame" line.
std::vector<std::string> Frame(const std::vector<std::string>& log, size_t k);

// A logged call: Name(a, b) = r.
struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string result;
};
Call Parse(const std::string& line);
double Arg(const std::string& line, size_t i);   // argument i as a number

// The fields of a vertex line ("  x y z ..."), the colour field read as hex.
std::vector<double> Fields(const std::string& line);

// Index of the first line at or after from that starts with prefix, or -1.
int Find(const std::vector<std::string>& lines, const std::string& prefix, int from = 0);
int Count(const std::vector<std::string>& lines, const std::string& prefix);

// Where piece occurs in lines as a contiguous run, at or after from; -1 if not.
int FindRun(const std::vector<std::string>& lines, const std::vector<std::string>& piece,
            int from = 0);
