// Quantities named here are 32-bit floats; expressions are evaluated at double
// precision and rounded where they are stored.
#include "scenes/tunnel.h"

#include <cmath>
#include <cstring>

#include "engine/qor.h"
#include "math/convert.h"
#include "math/rotation.h"

TunnelFlightScene TunnelScene;

namespace {

inline TunnelPoint Apply(const Matrix4& r, double x, double y, double z) {
    const float* m = r.m;
    return TunnelPoint{float(x * m[0] + y * m[4] + z * m[8] + m[12]), float(x * m[1] + y * m[5] + z * m[9] + m[13]),
                       float(x * m[2] + y * m[6] + z * m[10] + m[14])};
}

inline void BendMatrix(Matrix4& out, float z) {
    const double a = double(z) * 0.001f;
    const float yaw = float(std::cos(a) * 0.33333334f);
    const float pitch = float(std::sin(a) * 0.2f);
    const float roll = float(std::sin(double(z) * 0.004f) * 0.5f);
    EulerToMatrix(out, yaw, pitch, roll);
}

inline uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Memo of the bend matrix per depth: the vertices of a section lie on a few
// rings of equal z. Keys are bit patterns, so a hit gives exactly what the
// call would.
class BendMemo {
public:
    const Matrix4& Bend(float z) {
        Slot& s = slots_[(Bits(z) * 2654435761u) >> 26];   // 64 slots
        if (!s.used || s.key != Bits(z)) {
            BendMatrix(s.matrix, z);
            s.key = Bits(z);
            s.used = true;
        }
        return s.matrix;
    }

private:
    struct Slot {
        bool used = false;
        uint32_t key = 0;
        Matrix4 matrix;
    };
    Slot slots_[64];
};

}   // namespace

TunnelPoint TunnelBend(float x, float y, float z) {
    Matrix4 m;
    BendMatrix(m, z);
    return Apply(m, x, y, z);
}

int TunnelFlightScene::Prepare() {
    LoadTexture("tunnel.jpg", 1);
    LoadTexture("darkgray.jpg", 1);
    workMesh = LoadMesh("tunnel.a3f");
    sourceMesh = LoadMesh("tunnel.a3f");
    return 0;
}

int TunnelFlightScene::Render(float localTime) {
    // The flight runs 0..11 in the first five seconds, restarts from 0 just
    // after 5 and then grows without limit.
    const double lt = localTime;
    const float flight = float((localTime > 5.0f ? lt - 5.0f : lt) * 2.2f);
    Rotate(0.0f, 0.0f, 0.0f, 1);   // the positions written below are final

    const int first = TruncToInt(double(flight) * 5);
    int end = TruncToInt(double(flight) * 5 + kSegmentsInView);
    if (end > kLastSegment) end = kLastSegment;

    // Objects missing from a short mesh are neither rewritten nor drawn.
    uint32_t objects = workMesh.objectCount < sourceMesh.objectCount ? workMesh.objectCount : sourceMesh.objectCount;
    if (objects > 3) objects = 3;

    BendMemo memo;
    for (uint32_t i = 0; i < 3; i++) {
        for (int j = first; j < end; j++) {
            if (i == 2 && j % 9 != 0) continue;                         // object 2 only every ninth segment
            const float fade = float(1.0 - j * double(0.006451613f));   // 1 .. about 0 at 155
            if (i < objects) {
                MeshObject& work = workMesh.objects[i];
                const MeshObject& source = sourceMesh.objects[i];
                int count = work.vertexCount;
                if (count > source.vertexCount) count = source.vertexCount;
                if (work.vertexCount > 0) {
                    const float depth = float(kSegmentLength * j + double(flight));
                    const MeshVertex* from = source.vertices;
                    MeshVertex* to = work.vertices;
                    for (int k = 0; k < count; k++) {
                        MeshVertex p = from[k];
                        p.z = float(p.z - double(depth));
                        p.v = float(p.z * double(0.014285714f));   // one repeat per 70 units
                        // Music term, about 81000 * level^4.
                        float s = float(GetSoundLevel() * 3.0);
                        s = float(GetSoundLevel() * 3.0 * s);
                        s = float(GetSoundLevel() * 3.0 * s);
                        const int music = TruncToInt(GetSoundLevel() * 3.0 * s * 1000.0);
                        const double band = 128.0 * (std::sin(p.y * double(0.1f) - 2.0 * p.z) + 1.0);
                        int b = TruncToInt((band - 128.0 * p.ny + music) * fade * 2.0);
                        if (b < 0) b = 0;
                        if (b > 255) b = 255;
                        p.color = ARGB(b, b, b, b);
                        const TunnelPoint bent = Apply(memo.Bend(p.z), p.x, p.y, p.z);
                        p.x = bent.x;
                        p.y = bent.y;
                        p.z = bent.z;
                        to[k] = p;
                    }
                }
            }
            if (i == 0) SetTexture("tunnel.jpg");
            if (i == 1) SetTexture("darkgray.jpg");   // object 2 keeps it
            if (i < objects) RenderObject(workMesh.objects[i]);
        }
    }

    // The camera is placed after the copies, so it serves the next frame.
    const float cx = float(std::sin(double(flight)) * 40.0);
    const float cy = float(std::cos(flight * double(0.45454544f)) * 20.0);
    const float cz = float(flight * -250.0);
    const TunnelPoint eye = TunnelBend(cx, cy, cz);
    CamPoint(eye.x, eye.y, eye.z);
    const float lz = float(cz - 5.0);
    const TunnelPoint target = TunnelBend(cx, cy, lz);
    CamLookAt(target.x, target.y, target.z);
    return 0;
}
