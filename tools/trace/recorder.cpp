// >> recorder: every engine operation logs one line and changes no pixels.
#include "recorder.h"

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "assets/datadir.h"
#include "assets/meshes.h"
#include "engine/qor.h"
#include "engine/win.h"

namespace trace {

namespace {

struct MeshName {
    const MeshObject* objects;   // the handle's array (a zero-sized one for an empty mesh)
    uint32_t storeId;            // the store's meshId, 0 for an empty mesh
    int number;                  // N of meshN
};

std::vector<float> gTimes;
float gLevel = 0.0f;
bool gVertices = false;
std::FILE* gOut = nullptr;
std::vector<std::string> gLines;
std::vector<MeshName> gMeshes;
std::vector<std::unique_ptr<MeshObject[]>> gEmptyMeshes;
int gCursorCount = 0;
char gWindow;   // its address is the window handle

// One line in the making.
std::string gLine;

void Append(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Append(const char* format, ...) {
    char buffer[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (size_t(n) < sizeof buffer) {
        gLine.append(buffer, size_t(n));
        return;
    }
    std::string big(size_t(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    gLine.append(big.data(), size_t(n));
}

void Begin(const char* name) {
    gLine.assign(name);
    gLine += '(';
}

void Sep() {
    if (gLine.back() != '(') gLine += ", ";
}

void Int(long long v) {
    Sep();
    Append("%lld", v);
}
void Float(double v) {
    Sep();
    Append("%.9g", v);
}
void Color(uint32_t v) {
    Sep();
    Append("0x%08x", unsigned(v));
}
void Raw(const char* text) {
    Sep();
    gLine += text;
}

void Text(const char* text) {
    Sep();
    if (!text) {
        gLine += "null";
        return;
    }
    gLine += '"';
    for (const char* c = text; *c; c++) {
        const unsigned char ch = static_cast<unsigned char>(*c);
        if (ch == '"' || ch == '\\') {
            gLine += '\\';
            gLine += char(ch);
        } else if (ch < 0x20 || ch == 0x7f) {
            Append("\\x%02x", ch);
        } else {
            gLine += char(ch);
        }
    }
    gLine += '"';
}

void Emit() {
    if (gOut) {
        gLine += '\n';
        std::fwrite(gLine.data(), 1, gLine.size(), gOut);
    } else {
        gLines.push_back(gLine);
    }
}

// Ends the call's line, with " = result" when result is given.
void End(const char* result = nullptr) {
    gLine += ')';
    if (result) {
        gLine += " = ";
        gLine += result;
    }
    Emit();
}

int MeshNumberOfHandle(const MeshHandle& handle) {
    for (const MeshName& m : gMeshes) {
        if (m.objects == handle.objects) return m.number;
    }
    return 0;
}

int MeshNumberOfObject(const MeshObject& object) {
    for (const MeshName& m : gMeshes) {
        if (m.storeId != 0 && m.storeId == object.meshId) return m.number;
    }
    return 0;
}

void DumpFloat(double v) { Append(" %.9g", v); }

void DumpScreenVertices(const ScreenVertex* v, int count) {
    if (!gVertices || !v) return;
    for (int k = 0; k < count; k++) {
        gLine.clear();
        gLine.push_back(' ');
        DumpFloat(v[k].x);
        DumpFloat(v[k].y);
        DumpFloat(v[k].z);
        DumpFloat(v[k].rhw);
        Append(" 0x%08x", unsigned(v[k].color));
        DumpFloat(v[k].u);
        DumpFloat(v[k].v);
        Emit();
    }
}

void DumpMeshVertices(const MeshVertex* v, int count) {
    if (!gVertices || !v) return;
    for (int k = 0; k < count; k++) {
        gLine.clear();
        gLine.push_back(' ');
        DumpFloat(v[k].x);
        DumpFloat(v[k].y);
        DumpFloat(v[k].z);
        DumpFloat(v[k].nx);
        DumpFloat(v[k].ny);
        DumpFloat(v[k].nz);
        Append(" 0x%08x", unsigned(v[k].color));
        DumpFloat(v[k].u);
        DumpFloat(v[k].v);
        Emit();
    }
}

}   // namespace

void SetFrameTimes(const std::vector<float>& times) { gTimes = times; }
void SetSoundLevel(float level) { gLevel = level; }
void SetVertexDump(bool on) { gVertices = on; }
void SetDataDir(const std::string& dir) { qor::SetDataDir(dir); }
void SetOutput(std::FILE* out) { gOut = out; }
const std::vector<std::string>& Lines() { return gLines; }
void ClearLines() { gLines.clear(); }

void Reset() {
    gTimes.clear();
    gLevel = 0.0f;
    gVertices = false;
    gOut = nullptr;
    gLines.clear();
    gCursorCount = 0;
}

}   // namespace trace

using namespace trace;

// >> lifecycle

void Initialize(const char* name, const char* music, int width, int height, int flag) {
    Begin("Initialize");
    Text(name);
    Text(music);
    Int(width);
    Int(height);
    Int(flag);
    End();
}

void Run(FrameFunction frame) {
    Begin("Run");
    Raw(frame ? "FrameCallback" : "null");
    End();
    if (!frame) return;
    const std::vector<float> times = gTimes;
    for (float t : times) {
        gLine.assign("# frame ");
        Append("%.9g", double(t));
        Emit();
        frame(t);
    }
}

// >> frame

void ClearBackBuffer(int r, int g, int b) {
    Begin("ClearBackBuffer");
    Int(r);
    Int(g);
    Int(b);
    End();
}
void ClearZBuffer() {
    Begin("ClearZBuffer");
    End();
}
void BeginScene() {
    Begin("BeginScene");
    End();
}
void EndScene() {
    Begin("EndScene");
    End();
}
void SetViewPort(int x, int y, int width, int height) {
    Begin("SetViewPort");
    Int(x);
    Int(y);
    Int(width);
    Int(height);
    End();
}

// >> textures, meshes, font

void LoadTexture(const char* file, int flag) {
    Begin("LoadTexture");
    Text(file);
    Int(flag);
    End();
}
void SetTexture(const char* file) {
    Begin("SetTexture");
    Text(file);
    End();
}

MeshHandle LoadMesh(const char* file) {
    MeshHandle handle = qor::LoadMeshCopy(file);
    MeshName name{handle.objects, 0, int(gMeshes.size()) + 1};
    if (handle.objectCount > 0) {
        name.storeId = handle.objects[0].meshId;
    } else {
        // A zero-sized array of its own tells empty meshes apart; touching it is
        // an out-of-bounds access that the address sanitizer reports.
        gEmptyMeshes.push_back(std::make_unique<MeshObject[]>(0));
        handle.objects = gEmptyMeshes.back().get();
        name.objects = handle.objects;
    }
    gMeshes.push_back(name);
    Begin("LoadMesh");
    Text(file);
    End(("mesh" + std::to_string(name.number)).c_str());
    return handle;
}

void CreateNewFont(const char* file, int width, int height, int count) {
    Begin("CreateNewFont");
    Text(file);
    Int(width);
    Int(height);
    Int(count);
    End();
}

void FontWrite(int x, int y, float scale, const char* text, const char* font, uint32_t color) {
    Begin("FontWrite");
    Int(x);
    Int(y);
    Float(scale);
    Text(text);
    Text(font);
    Color(color);
    End();
}

// >> drawing

void RenderSV(const ScreenVertex* vertices, int count, int kind) {
    int read = 0;
    if (count > 0 && kind == 0) read = count * 3;
    if (count > 0 && kind == 1) read = count + 2;
    Begin("RenderSV");
    Sep();
    Append("[%d]", read);
    Int(count);
    Int(kind);
    End();
    DumpScreenVertices(vertices, read);
}

void RenderMesh(MeshHandle handle) {
    Begin("RenderMesh");
    Sep();
    Append("mesh%d", MeshNumberOfHandle(handle));
    End();
}

void RenderObject(MeshObject object) {
    Begin("RenderObject");
    Sep();
    Append("mesh%d.%u", MeshNumberOfObject(object), unsigned(object.objectIndex));
    End();
    DumpMeshVertices(object.vertices, object.vertexCount);
}

// >> camera and transform

void CamPoint(float x, float y, float z) {
    Begin("CamPoint");
    Float(x);
    Float(y);
    Float(z);
    End();
}
void CamLookAt(float x, float y, float z) {
    Begin("CamLookAt");
    Float(x);
    Float(y);
    Float(z);
    End();
}
void Rotate(float x, float y, float z, int flag) {
    Begin("Rotate");
    Float(x);
    Float(y);
    Float(z);
    Int(flag);
    End();
}
void Scale(float x, float y, float z, int flag) {
    Begin("Scale");
    Float(x);
    Float(y);
    Float(z);
    Int(flag);
    End();
}
void Translate(float x, float y, float z, int flag) {
    Begin("Translate");
    Float(x);
    Float(y);
    Float(z);
    Int(flag);
    End();
}

// >> switches and lights

void UseZBuffer(int on) {
    Begin("UseZBuffer");
    Int(on);
    End();
}
void UseAlphaBlend(int on) {
    Begin("UseAlphaBlend");
    Int(on);
    End();
}
void UseEnvMap(int on) {
    Begin("UseEnvMap");
    Int(on);
    End();
}
void UseFilters(int on) {
    Begin("UseFilters");
    Int(on);
    End();
}
void UseAlphaChannel(int on) {
    Begin("UseAlphaChannel");
    Int(on);
    End();
}
void SetTextureWrapping(int on) {
    Begin("SetTextureWrapping");
    Int(on);
    End();
}
void UseLighting(int on) {
    Begin("UseLighting");
    Int(on);
    End();
}

void PointLight(int index, float x, float y, float z, float range, uint32_t color) {
    Begin("PointLight");
    Int(index);
    Float(x);
    Float(y);
    Float(z);
    Float(range);
    Color(color);
    End();
}
void EnableLight(int index, int on) {
    Begin("EnableLight");
    Int(index);
    Int(on);
    End();
}

// >> values

uint32_t ARGB(int a, int r, int g, int b) {
    auto clamp = [](int c) { return uint32_t(c < 0 ? 0 : c > 255 ? 255 : c); };
    const uint32_t color = clamp(a) << 24 | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
    char result[16];
    std::snprintf(result, sizeof result, "0x%08x", unsigned(color));
    Begin("ARGB");
    Int(a);
    Int(r);
    Int(g);
    Int(b);
    End(result);
    return color;
}

float GetSoundLevel() {
    char result[32];
    std::snprintf(result, sizeof result, "%.9g", double(gLevel));
    Begin("GetSoundLevel");
    End(result);
    return gLevel;
}

int GetFPS(double t) {
    Begin("GetFPS");
    Float(t);
    End("60");
    return 60;
}

// >> Windows shims

int ShowCursor(BOOL show) {
    gCursorCount += show ? 1 : -1;
    Begin("ShowCursor");
    Int(show);
    End();
    return gCursorCount;
}

HWND GetForegroundWindow() {
    Begin("GetForegroundWindow");
    End("window");
    return &gWindow;
}

HWND SetFocus(HWND window) {
    Begin("SetFocus");
    if (window == &gWindow)
        Raw("window");
    else if (!window)
        Raw("null");
    else
        Raw("other");
    End();
    return window;
}
