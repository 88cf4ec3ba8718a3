// teq-trace: runs the demo (loading sequence included) on the call recorder
// and prints every engine call it makes, one a line.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/win.h"
#include "recorder.h"

namespace {

const char kUsage[] =
    "usage: teq-trace [--data DIR] [--level L] [--vertices] T1 T2 ...\n"
    "\n"
    "Runs the demo on a recording engine: the loading sequence, then one frame\n"
    "for each time T (seconds), in the order given. Prints every engine call as\n"
    "one line, \"# frame <t>\" before each frame.\n"
    "\n"
    "  --data DIR   read meshes from DIR (default: the current directory);\n"
    "               a missing mesh loads empty, with a warning on stderr\n"
    "  --level L    what GetSoundLevel returns (default 0)\n"
    "  --vertices   after each RenderSV and RenderObject line, one line per\n"
    "               vertex the call reads: two spaces, then the fields in\n"
    "               record order (x y z rhw color u v, or x y z nx ny nz color u v)\n"
    "  --help       this text\n"
    "\n"
    "Lines: Name(arg, ...), and Name(args) = result for LoadMesh, ARGB,\n"
    "GetSoundLevel, GetFPS (always 60) and GetForegroundWindow. Floats %.9g,\n"
    "integers in decimal, texts in double quotes, colours 0x%08x, a vertex array\n"
    "[N] (N records read), a mesh handle meshN (N counts LoadMesh calls from 1),\n"
    "a mesh object meshN.K (object K), the frame function FrameCallback.\n"
    "The window: GetForegroundWindow() = window, then SetFocus(window).\n"
    "ShowCursor(0) logs its argument; ARGB clamps components to 0..255.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "teq-trace: %s (see --help)\n", message.c_str());
    return 2;
}

bool ParseFloat(const char* text, float& out) {
    if (!*text) return false;
    char* end = nullptr;
    const float value = std::strtof(text, &end);
    if (*end != '\0' || !std::isfinite(value)) return false;
    out = value;
    return true;
}

bool LooksLikeNumber(const char* arg) {
    return arg[0] == '-' && (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
}

}   // namespace

int main(int argc, char** argv) {
    std::string dataDir;
    float level = 0.0f;
    bool vertices = false;
    std::vector<float> times;

    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--data") == 0) {
            if (i + 1 >= argc) return Fail("--data needs a directory");
            dataDir = argv[++i];
            struct stat info;
            if (stat(dataDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                return Fail("--data: not a directory: " + dataDir);
            }
        } else if (std::strcmp(arg, "--level") == 0) {
            if (i + 1 >= argc) return Fail("--level needs a number");
            if (!ParseFloat(argv[++i], level)) {
                return Fail(std::string("--level: not a finite number: ") + argv[i]);
            }
        } else if (std::strcmp(arg, "--vertices") == 0) {
            vertices = true;
        } else if (arg[0] == '-' && !LooksLikeNumber(arg)) {
            return Fail(std::string("unknown option ") + arg);
        } else {
            float t;
            if (!ParseFloat(arg, t)) return Fail(std::string("not a time in seconds: ") + arg);
            times.push_back(t);
        }
    }

    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    trace::SetDataDir(dataDir);
    trace::SetSoundLevel(level);
    trace::SetVertexDump(vertices);
    trace::SetFrameTimes(times);
    trace::SetOutput(stdout);
    const int result = WinMain(nullptr, nullptr, nullptr, 0);
    std::fflush(stdout);
    return result;
}
