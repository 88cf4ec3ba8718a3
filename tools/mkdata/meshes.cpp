// Meshes: the knot, the geo lattice, the trio's three nested spheres, the tunnel
// section and the mushroom. Left-handed coordinates, y up. Every triangle
// winds clockwise seen from the side its vertex normals point to (the side
// meant to be seen), except the mushroom's back-lit shell, seen from inside
// with its normals outward; normals are unit length; colour is opaque white.
#include <algorithm>
#include <cmath>
#include <utility>

#include "generators.h"

namespace mkdata {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
Vec3 Normalize(Vec3 a) {
    const float l = Length(a);
    return l > 0 ? a * (1.f / l) : Vec3{0, 1, 0};
}
float SmoothStepMesh(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.f, 1.f);
    return t * t * (3 - 2 * t);
}
// Rotates v about the unit axis k by angle a (Rodrigues).
Vec3 RotateAbout(Vec3 v, Vec3 k, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return v * c + Cross(k, v) * s + k * (Dot(k, v) * (1 - c));
}

// Collects one object's vertices and triangles.
class ObjectBuilder {
public:
    uint32_t Vertex(Vec3 p, Vec3 n, float u, float v) {
        n = Normalize(n);
        obj_.vertices.push_back(MeshVertex{p.x, p.y, p.z, n.x, n.y, n.z, kWhite, u, v});
        return uint32_t(obj_.vertices.size() - 1);
    }
    // Adds a triangle wound clockwise as seen from the side its vertex
    // normals point to: with the cross product (b - a) x (c - a) pointing
    // that way. Degenerate triangles are dropped. While SeenFromBehind(true),
    // triangles wind the other way: seen from the side their normals leave.
    void Triangle(uint32_t a, uint32_t b, uint32_t c) {
        const Vec3 pa = Pos(a), pb = Pos(b), pc = Pos(c);
        const Vec3 g = Cross(pb - pa, pc - pa);
        if (Length(g) < 1e-6f) return;
        if ((Dot(g, Nrm(a) + Nrm(b) + Nrm(c)) < 0) != behind_) std::swap(b, c);
        obj_.indices.insert(obj_.indices.end(), {a, b, c});
    }
    // Quad a-b-c-d around its edge.
    void Quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        Triangle(a, b, c);
        Triangle(a, c, d);
    }
    // Grid of (rows + 1) x (cols + 1) vertices laid out row by row from first.
    void Grid(uint32_t first, int rows, int cols) {
        const uint32_t stride = uint32_t(cols + 1);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const uint32_t i = first + uint32_t(r) * stride + uint32_t(c);
                Quad(i, i + 1, i + stride + 1, i + stride);
            }
    }
    void SeenFromBehind(bool on) { behind_ = on; }
    uint32_t Count() const { return uint32_t(obj_.vertices.size()); }
    Vec3 Position(uint32_t i) const { return Pos(i); }
    qor::A3fObject Take() { return std::move(obj_); }

private:
    Vec3 Pos(uint32_t i) const { return {obj_.vertices[i].x, obj_.vertices[i].y, obj_.vertices[i].z}; }
    Vec3 Nrm(uint32_t i) const { return {obj_.vertices[i].nx, obj_.vertices[i].ny, obj_.vertices[i].nz}; }
    qor::A3fObject obj_;
    bool behind_ = false;
};

// A tube swept along a closed curve, with a cross-section given as points
// (x across, y up in the section plane) and their outward normals.
struct Section {
    std::vector<float> x, y, nx, ny;
};

Section CircleSection(int sides, float radius) {
    Section s;
    for (int i = 0; i <= sides; ++i) {
        const float a = 2 * kPi * float(i) / float(sides);
        s.x.push_back(std::cos(a) * radius);
        s.y.push_back(std::sin(a) * radius);
        s.nx.push_back(std::cos(a));
        s.ny.push_back(std::sin(a));
    }
    return s;
}

// Sweeps section along curve(t), t in 0..1 over steps segments; frames are
// carried along the curve by parallel transport and the twist left at the
// end is spread evenly so the tube closes. twist adds extra turns of the
// section along the curve. u runs along the curve (uRepeats times), v
// around the section.
qor::A3fObject SweepClosed(const std::function<Vec3(float)>& curve, int steps, const Section& sec, float uRepeats,
                           float twist) {
    std::vector<Vec3> pos(size_t(steps) + 1), tan(size_t(steps) + 1), nor(size_t(steps) + 1);
    for (int i = 0; i <= steps; ++i) {
        const float t = float(i) / float(steps);
        pos[size_t(i)] = curve(t);
        const float h = 1e-4f;
        tan[size_t(i)] = Normalize(curve(t + h) - curve(t - h));
    }
    // Initial normal: any direction across the first tangent.
    Vec3 n0 = Cross(tan[0], Vec3{0, 1, 0});
    if (Length(n0) < 0.1f) n0 = Cross(tan[0], Vec3{1, 0, 0});
    nor[0] = Normalize(n0);
    for (int i = 1; i <= steps; ++i) {
        const Vec3 t = tan[size_t(i)];
        Vec3 n = nor[size_t(i) - 1];
        n = Normalize(n - t * Dot(n, t));
        nor[size_t(i)] = n;
    }
    // Closing twist: angle from the transported end normal back to the start one.
    const Vec3 endN = nor[size_t(steps)], b0 = Cross(tan[0], nor[0]);
    const float closeAngle = std::atan2(Dot(endN, b0), Dot(endN, nor[0]));

    ObjectBuilder b;
    const int ring = int(sec.x.size());
    for (int i = 0; i <= steps; ++i) {
        const float t = float(i) / float(steps);
        const Vec3 T = tan[size_t(i)];
        const Vec3 N = RotateAbout(nor[size_t(i)], T, -closeAngle * t + twist * 2 * kPi * t);
        const Vec3 B = Cross(T, N);
        for (int k = 0; k < ring; ++k) {
            const Vec3 p = pos[size_t(i)] + N * sec.x[size_t(k)] + B * sec.y[size_t(k)];
            const Vec3 n = N * sec.nx[size_t(k)] + B * sec.ny[size_t(k)];
            b.Vertex(p, n, t * uRepeats, float(k) / float(ring - 1));
        }
    }
    b.Grid(0, steps, ring - 1);
    return b.Take();
}

// Surface of revolution about the vertical line through `at`: profile points
// (r, y) with their outward normals (nr, ny) and texture row v; u runs once
// around.
struct ProfilePoint {
    float r, y, nr, ny, v;
};
void Revolve(ObjectBuilder& b, const std::vector<ProfilePoint>& profile, int sides, Vec3 at = {}) {
    const uint32_t first = b.Count();
    for (const ProfilePoint& p : profile)
        for (int k = 0; k <= sides; ++k) {
            const float a = 2 * kPi * float(k) / float(sides);
            const float c = std::cos(a), s = std::sin(a);
            b.Vertex(at + Vec3{p.r * c, p.y, p.r * s}, {p.nr * c, p.ny, p.nr * s}, float(k) / float(sides), p.v);
        }
    b.Grid(first, int(profile.size()) - 1, sides);
}

}   // namespace

// >> knot

// Trefoil (2, 3) torus knot tube with smooth normals for environment mapping:
// centre curve within 59 units of the origin, tube radius 13, so the knot
// reaches about 72 and, seen from 130 units, fills a good part of the screen
// (it carries most of the light of its scene: the wall behind it stays dim
// for the credits that are later added over it). 160 x 12 segments: 3840 triangles on 1920 vertices. The
// demo loads this mesh anew in every frame of its scene, and each load holds
// a copy of the vertices, so the vertex count is kept low: the sweep's seam
// vertices (the repeated first ring and the repeated first column of each
// ring) are folded onto the ones they repeat; u, v play no part under
// environment mapping.
qor::A3fMesh GenKnot() {
    const float R = 42.f, a = 17.f;
    const int steps = 160, sides = 12;
    auto curve = [&](float t) {
        const float f = 2 * kPi * t;
        const float r = R + a * std::cos(3 * f);
        return Vec3{r * std::cos(2 * f), r * std::sin(2 * f), -a * std::sin(3 * f)};
    };
    const qor::A3fObject swept = SweepClosed(curve, steps, CircleSection(sides, 13.f), 12.f, 0.f);
    const uint32_t ring = uint32_t(sides + 1);
    auto fold = [&](uint32_t i) {
        uint32_t step = i / ring % uint32_t(steps), k = i % ring % uint32_t(sides);
        return step * uint32_t(sides) + k;
    };
    qor::A3fObject tube;
    for (uint32_t step = 0; step < uint32_t(steps); ++step)
        for (uint32_t k = 0; k < uint32_t(sides); ++k) tube.vertices.push_back(swept.vertices[step * ring + k]);
    for (uint32_t i : swept.indices) tube.indices.push_back(fold(i));
    qor::A3fMesh mesh;
    mesh.objects.push_back(std::move(tube));
    return mesh;
}

// >> geo lattice

// Object 0: an open lattice of radius 50 on the edges of a dodecahedron (the
// dual of the icosahedron: 20 nodes, 30 struts). Each strut is a thin flat
// diamond from node to node, 6 wide at its middle, lying in the plane that
// touches the sphere there; they cover about a tenth of the sphere. The
// swarm draws 95 nested copies, and what that costs follows the rows of
// pixels the triangles span far more than their pixels: so few, short
// struts, each side two half-length triangles (a quad strut would be two
// full-length ones). Each strut has both sides, all inner sides first: an
// opaque copy drawn without depth test then comes out right, since seen from
// outside the inner sides in view lie on the far half, behind every outer
// side in view. 120 triangles on 240 vertices.
qor::A3fMesh GenGeo() {
    const float radius = 50.f, width = 6.f;
    const float g = (1.f + std::sqrt(5.f)) / 2.f, h = 1.f / g;
    std::vector<Vec3> nodes;
    for (float x : {-1.f, 1.f})
        for (float y : {-1.f, 1.f})
            for (float z : {-1.f, 1.f}) nodes.push_back({x, y, z});
    for (float a : {-1.f, 1.f})
        for (float b : {-1.f, 1.f}) {
            nodes.push_back({0, a * h, b * g});
            nodes.push_back({a * h, b * g, 0});
            nodes.push_back({a * g, 0, b * h});
        }
    // Neighbours are 2/phi apart (the next nearest are 2 apart).
    std::vector<std::pair<Vec3, Vec3>> struts;
    for (size_t i = 0; i < nodes.size(); ++i)
        for (size_t j = i + 1; j < nodes.size(); ++j)
            if (Length(nodes[i] - nodes[j]) < 1.5f)
                struts.push_back({Normalize(nodes[i]) * radius, Normalize(nodes[j]) * radius});
    ObjectBuilder b;
    for (float side : {-1.f, 1.f}) {   // inner sides, then outer sides
        for (const auto& [a, c] : struts) {
            const Vec3 mid = (a + c) * 0.5f;
            const Vec3 n = Normalize(mid) * side;
            const Vec3 across = Normalize(Cross(c - a, mid)) * (width * 0.5f);
            const uint32_t i = b.Vertex(a, n, 0, 0);
            b.Vertex(mid + across, n, 0, 0);
            b.Vertex(c, n, 0, 0);
            b.Vertex(mid - across, n, 0, 0);
            b.Triangle(i, i + 1, i + 3);       // node a to the middle
            b.Triangle(i + 2, i + 3, i + 1);   // node c to the middle
        }
    }
    qor::A3fMesh mesh;
    mesh.objects.push_back(b.Take());
    return mesh;
}

// >> trio

namespace {

// A sphere seen from inside, in rows of latitude (row 0 at the top pole) and
// columns of longitude, with a seam column so u can run on past 1. keep(row,
// col, dir) says which cells are walled, given the direction of the cell's
// centre. Normals point to the centre. v runs from 0 at the top to 1 at the
// bottom; u from 0 to uRepeats once round, so the picture can be one
// panorama (uRepeats 1) or repeat round the sphere.
qor::A3fObject InsideSphere(float radius, int rows, int cols, float uRepeats,
                            const std::function<bool(int, int, Vec3)>& keep) {
    ObjectBuilder b;
    auto dir = [&](float row, float col) {
        const float theta = kPi * row / float(rows), phi = 2 * kPi * col / float(cols);
        const float st = row == 0.f || row == float(rows) ? 0.f : std::sin(theta);   // the poles exactly
        return Vec3{st * std::cos(phi), std::cos(theta), st * std::sin(phi)};
    };
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= cols; ++i) {
            const Vec3 d = dir(float(j), float(i));
            b.Vertex(d * radius, d * -1.f, float(i) / float(cols) * uRepeats, float(j) / float(rows));
        }
    const uint32_t stride = uint32_t(cols + 1);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            if (!keep(j, i, dir(float(j) + 0.5f, float(i) + 0.5f))) continue;
            const uint32_t k = uint32_t(j) * stride + uint32_t(i);
            b.Quad(k, k + 1, k + stride + 1, k + stride);   // the pole rows lose a degenerate half
        }
    return b.Take();
}

}   // namespace

// The trio's room: three nested spheres seen from inside, one per texture.
// The scene turns and moves them about the world origin with the camera
// always inside the innermost (the camera is never more than 101 units from
// the spheres' centre in mesh units), so every viewport is filled, and each
// of the three viewports looks at another part of one round hall: two gilded
// hoops close by ("05.jpg"), a colonnade of twelve pillars with a balcony
// ring ("04.jpg", repeated once per pillar), and the hall itself, one
// panorama of dome, windows and floor ("02.jpg"). Few, broad shapes: the
// views turn fast, and fine detail would flicker.
qor::A3fMesh GenTrio() {
    qor::A3fMesh mesh;
    // Two hoops, 12 degrees wide: the equator and the meridian circle
    // through the z axis (narrowing toward the poles, as meridians do).
    mesh.objects.push_back(InsideSphere(112.f, 30, 60, 1.f, [](int j, int i, Vec3) {
        return j == 14 || j == 15 || i == 14 || i == 15 || i == 44 || i == 45;
    }));
    // Twelve pillars (two of every ten columns) and a balcony ring round the equator.
    mesh.objects.push_back(InsideSphere(124.f, 30, 120, 12.f, [](int j, int i, Vec3) {
        return (i % 10 < 2 && j >= 5 && j < 25) || j == 4 || j == 14 || j == 15 || j == 25;
    }));
    mesh.objects.push_back(InsideSphere(138.f, 24, 48, 1.f, [](int, int, Vec3) { return true; }));
    return mesh;
}

// >> tunnel

namespace {

// The tunnel's cross-section: a regular octagon with flat floor and ceiling.
constexpr int kSides = 8;
constexpr float kApothem = 92.f;   // distance from the axis to each face

// Angle of the middle of face f; face 0 is the floor (normal up).
float FaceAngle(int f) { return -kPi / 2 + float(f) * 2 * kPi / kSides; }
// Point on the octagon at distance d from the axis measured along the face
// normal, at fraction s (0..1) across face f.
Vec3 OnFace(int f, float d, float s, float z) {
    const float a = FaceAngle(f);
    const float half = d * std::tan(kPi / kSides);
    const Vec3 out{std::cos(a), std::sin(a), 0}, across{-std::sin(a), std::cos(a), 0};
    return out * d + across * ((s * 2 - 1) * half) + Vec3{0, 0, z};
}
Vec3 FaceInward(int f) {
    const float a = FaceAngle(f);
    return {-std::cos(a), -std::sin(a), 0};
}

// A prism ring standing in from the walls: the part of the section between
// distances outer and inner from the axis, from z0 to z1. Front (+z), back
// (-z) and inner faces; u across each face.
void AddRing(ObjectBuilder& b, float outer, float inner, float z0, float z1) {
    for (int f = 0; f < kSides; ++f) {
        for (float z : {z0, z1}) {
            const Vec3 n{0, 0, z == z1 ? 1.f : -1.f};
            const uint32_t i = b.Vertex(OnFace(f, outer, 0, z), n, 0, 0);
            b.Vertex(OnFace(f, outer, 1, z), n, 1, 0);
            b.Vertex(OnFace(f, inner, 1, z), n, 1, 0.2f);
            b.Vertex(OnFace(f, inner, 0, z), n, 0, 0.2f);
            b.Quad(i, i + 1, i + 2, i + 3);
        }
        const Vec3 n = FaceInward(f);
        const uint32_t i = b.Vertex(OnFace(f, inner, 0, z0), n, 0, 0);
        b.Vertex(OnFace(f, inner, 1, z0), n, 1, 0);
        b.Vertex(OnFace(f, inner, 1, z1), n, 1, 0);
        b.Vertex(OnFace(f, inner, 0, z1), n, 0, 0);
        b.Quad(i, i + 1, i + 2, i + 3);
    }
}

}   // namespace

// One tunnel section from z = 0 to 50, seen from inside.
// The scene lights every vertex with a band sin(0.1 y - 2 z) that is sampled
// only at the vertices; so every ring of vertices stands at a multiple of pi
// along z (the band's period), where all rings of one section get the same
// band value, and the band changes from section to section instead of from
// ring to ring: broad bands that sweep past smoothly rather than a pattern
// finer than the rings that strobes at flight speed. Only the rings at
// z = 50, where the next section begins, take that section's value.
// Object 0, the wall: the octagon's eight faces, each 4 strips across and
// rings at z = 0, 3 pi ... 15 pi and 50 (280 vertices); normals point into
// the tunnel, so the floor's point up.
// Object 1, detail: four pipes along the corners beside floor and ceiling
// (no rib across the tunnel: one in every section makes a fine repeating
// pattern in the distance that strobes). Object 2: a deep portal frame with
// an inner lip (drawn every ninth section).
qor::A3fMesh GenTunnel() {
    qor::A3fMesh mesh;
    {
        ObjectBuilder b;
        const int across = 4, along = 6;
        for (int f = 0; f < kSides; ++f) {
            const uint32_t first = b.Count();
            for (int j = 0; j <= along; ++j)
                for (int i = 0; i <= across; ++i) {
                    const float s = float(i) / float(across);
                    const float z = j < along ? 3.f * kPi * float(j) : 50.f;
                    b.Vertex(OnFace(f, kApothem, s, z), FaceInward(f), s, 0);
                }
            b.Grid(first, along, across);
        }
        mesh.objects.push_back(b.Take());
    }
    {
        ObjectBuilder b;
        // Pipes in the corners between the floor or ceiling and the slanted faces.
        const float pipeR = 5.f;
        for (int corner : {0, 3, 4, 7}) {
            // Corner between face corner and face corner+1, pulled in off the walls.
            const float a = FaceAngle(corner) + kPi / kSides;
            const float d = kApothem / std::cos(kPi / kSides) - pipeR / std::sin(kPi * 3 / 8) - 1.f;
            const Vec3 c{std::cos(a) * d, std::sin(a) * d, 0};
            const int sides = 8, rings = 3;
            const uint32_t first = b.Count();
            for (int j = 0; j < rings; ++j)
                for (int k = 0; k <= sides; ++k) {
                    const float t = 2 * kPi * float(k) / float(sides);
                    const Vec3 n{std::cos(t), std::sin(t), 0};
                    const float z = j == 0 ? 0.f : j == 1 ? 8.f * kPi : 50.f;
                    b.Vertex(c + n * pipeR + Vec3{0, 0, z}, n, float(k) / float(sides), 0);
                }
            b.Grid(first, rings - 1, sides);
        }
        mesh.objects.push_back(b.Take());
    }
    {
        ObjectBuilder b;
        AddRing(b, kApothem, kApothem - 22.f, 0.f, 3.f * kPi);
        AddRing(b, kApothem - 22.f, kApothem - 30.f, kPi, 2.f * kPi);
        mesh.objects.push_back(b.Take());
    }
    return mesh;
}

// >> sieni

// A mushroom revolved about the y axis in 32 steps, centred on its origin so
// that it fills as much as it can of the sphere it must stay inside: a big
// bun-shaped cap above y = 0, gills under it, a thick stem with a bulb down
// to y = -52. The closing scene turns the whole field about the world x
// axis, where its light swings, so each copy is lit on its side toward that
// axis, level with its origin: the cap's normals are those of a cap two
// and a half times as tall (steeper), so its whole top turns bright on the
// lit side. Four small mushrooms stand round the stem, and a glow shell
// over the cap and one round the stem add the light a second time.
// A copy seen from its dark side (the light behind it, which is how the
// nearest copies are seen for part of every turn) would show nothing, so
// the mesh starts with a back-lit shell: the mushroom's outline 1.25 units
// out, wound to be seen from inside, with its normals outward and nearly
// level. From the dark side the camera sees the shell's far half through
// the body, and that half faces the light: the copy glows like a lamp
// shade. From the lit side the far half faces away and adds nothing. It
// comes first so the body, drawn after it and nearer, still adds over it.
// The copies pass at least 70.7 from the camera, so the mesh stays within
// 60 units of its origin. Separate parts where the surface creases, so each
// keeps its own normals. v follows the rows of "sieni.jpg": cap 0..0.45
// (apex to rim), gills 0.45..0.62, stem 0.62..0.8 (top to foot), the glow
// 0.82, the ground 0.845..0.885 (middle to edge) and its underside
// 0.902..0.928, the back-lit shell 0.94..0.985 (apex to sole).
qor::A3fMesh GenSieni() {
    const int sides = 32;
    const float rimR = 57.5f, capH = 41.f, stemTop = -7.f, foot = -52.f;
    const float stemV = 0.62f, footV = 0.8f, glowV = 0.82f;
    constexpr float kGroundY = -50.f;
    ObjectBuilder b;
    // Stem profile: radius at height y, a bulb low down, narrowing to the foot.
    auto stemR = [&](float y) {
        const float bulb = std::exp(-std::pow((y + 38.f) / 10.f, 2.f));
        return 16.f + 6.f * bulb - 4.f * SmoothStepMesh(-46.f, -52.f, y);
    };
    // The back-lit shell: one closed profile from the apex over the cap, in
    // under it to the stem, down the stem and across the sole, in 24 steps
    // round (it fills every copy's outline a second time, so it is kept
    // light). Its normals lean level (a quarter of their rise), so a light
    // level with the copy reaches all of the far half.
    {
        const float out = 1.25f, a = rimR + out, top = capH + out;
        std::vector<Vec3> rim;   // (r, y, the normal's rise over its run, at most 4)
        const int steps = 10;
        for (int i = 0; i <= steps; ++i) {
            const float phi = kPi / 2 * float(i) / float(steps);
            const float rise = std::cos(phi) * a / (top * std::max(std::sin(phi), 1e-3f));
            rim.push_back({a * std::sin(phi), top * std::cos(phi), std::min(rise, 4.f)});
        }
        rim.push_back({a, -3.f, -0.5f});
        rim.push_back({stemR(stemTop) + out, stemTop - out, -0.5f});
        for (int i = 1; i < 4; ++i) {
            const float y = stemTop - out + (foot - stemTop) * float(i) / 4.f;
            rim.push_back({stemR(y) + out, y, 0.f});
        }
        rim.push_back({stemR(foot) + out, foot - out, -0.5f});
        std::vector<ProfilePoint> shell;
        for (size_t i = 0; i < rim.size(); ++i) {
            const float rise = 0.25f * rim[i].z, l = std::hypot(1.f, rise);
            shell.push_back({rim[i].x, rim[i].y, 1.f / l, rise / l, 0.94f + 0.045f * float(i) / float(rim.size() - 1)});
        }
        shell.push_back({0.f, foot - out, 0.f, -1.f, 0.99f});
        b.SeenFromBehind(true);
        Revolve(b, shell, 24);
        b.SeenFromBehind(false);
    }
    // The ground: discs of moss round the foot, 260 across, at y = -50. The
    // field moves every copy by x and z only and turns them all alike about
    // one axis, so the discs of all twenty copies lie in one plane: one
    // ground under the whole field. Where two copies' discs overlap, the
    // depth test decides which adds: each disc bulges 4 units up in its
    // middle, so they meet along a clean curve rather than in a speckle of
    // equal depths, and "sieni.jpg" fades each out toward its edge (v from
    // the middle out), so little shows there. The light swings along the
    // field's axis, level with the copies and off to the +z or the -z side
    // of each, so the ground is two discs, 1.5 apart, whose normals lean up
    // and to +z on one and to -z on the other: one of the two faces the
    // light. The tops come before the body (the lower disc first, so from
    // above the nearer one passes the depth test and both add). The field
    // turns over and is seen from below half the time: each disc also has an
    // underside, the light that shows through it, with the same normals,
    // wound to be seen from below and textured from rows past 0.9; the
    // undersides come last (the upper disc first), so the body shows through
    // them. A plane only comes to the camera edge on (with the camera in it,
    // it shows as a line), so the ground may reach past the distance the
    // body keeps from the camera.
    auto ground = [&](bool underside) {
        for (int k = 0; k < 2; ++k) {
            const bool upper = (k == 0) == underside;
            const float y = upper ? kGroundY : kGroundY - 1.5f, lean = upper ? 0.866f : -0.866f;
            const int rings = 8, sides = 32;
            const uint32_t first = b.Count();
            for (int i = rings; i >= 0; --i) {
                const float f = float(i) / float(rings), r = (underside ? 95.f : 130.f) * f;
                const float v = underside ? 0.902f + 0.026f * f : 0.845f + 0.04f * f;
                for (int j = 0; j <= sides; ++j) {
                    const float a = 2 * kPi * float(j) / float(sides);
                    b.Vertex({r * std::cos(a), y + 4.f * (1.f - f * f), r * std::sin(a)}, {0.f, 0.5f, lean},
                             float(j) / float(sides), v);
                }
            }
            b.SeenFromBehind(underside);
            b.Grid(first, rings, sides);
        }
        b.SeenFromBehind(false);
    };
    ground(false);
    // Cap: a half ellipsoid from the apex down to the rim at y = 0.
    {
        std::vector<ProfilePoint> cap;
        const int steps = 14;
        for (int i = 0; i <= steps; ++i) {
            const float phi = kPi / 2 * float(i) / float(steps);   // 0 apex, pi/2 rim
            const float r = rimR * std::sin(phi), y = capH * std::cos(phi);
            // Normal of an ellipse 1.5 times as tall: (sin/rx, cos/ry) scaled.
            const float nr = std::sin(phi) / rimR, ny = std::cos(phi) / (capH * 2.5f);
            const float l = std::hypot(nr, ny);
            cap.push_back({r, y, nr / l, ny / l, 0.45f * float(i) / float(steps)});
        }
        // Rim lip turning under.
        cap.push_back({rimR + 0.5f, -1.5f, 0.7f, -0.7f, 0.45f});
        Revolve(b, cap, sides);
    }
    // Gills: the underside from the rim in to the stem, facing down and out.
    Revolve(b,
            {{rimR + 0.5f, -1.5f, 0.4f, -1, 0.45f},
             {34.f, -5.f, 0.3f, -1, 0.53f},
             {stemR(stemTop), stemTop, 0.25f, -1, stemV}},
            sides);
    // Stem: top to the foot, then the sole (facing down).
    {
        std::vector<ProfilePoint> stem;
        const int steps = 12;
        for (int i = 0; i <= steps; ++i) {
            const float y = stemTop + (foot - stemTop) * float(i) / float(steps);
            const float dr = (stemR(y + 0.01f) - stemR(y - 0.01f)) / 0.02f;   // dr/dy
            const float l = std::hypot(1.f, dr);
            stem.push_back({stemR(y), y, 1.f / l, -dr / l, stemV + (footV - stemV) * float(i) / float(steps)});
        }
        Revolve(b, stem, sides);
        Revolve(b, {{stem.back().r, foot, 0, -1, footV}, {0.f, foot, 0, -1, footV}}, sides);
    }
    // Four small mushrooms round the stem, under the big cap: cap radius 11,
    // standing on the ground, 31 out from the axis.
    for (int k = 0; k < 4; ++k) {
        const float a = kPi / 4 + float(k) * kPi / 2;
        const Vec3 at{31.f * std::cos(a), kGroundY + 3.f, 31.f * std::sin(a)};   // on the ground's bulge
        std::vector<ProfilePoint> cap;
        for (int i = 0; i <= 6; ++i) {
            const float phi = kPi / 2 * float(i) / 6.f;
            const float nr = std::sin(phi) / 11.f, ny = std::cos(phi) / 12.f, l = std::hypot(nr, ny);
            cap.push_back({11.f * std::sin(phi), 18.f + 8.f * std::cos(phi), nr / l, ny / l, 0.45f * float(i) / 6.f});
        }
        Revolve(b, cap, 16, at);
        Revolve(b, {{11.f, 18.f, 0.3f, -1, 0.45f}, {5.f, 17.f, 0.3f, -1, stemV}}, 16, at);
        Revolve(b, {{5.f, 17.f, 1, 0, stemV}, {5.5f, 0.f, 1, 0, footV}}, 16, at);
        Revolve(b, {{5.5f, 0.f, 0, -1, footV}, {0.f, 0.f, 0, -1, footV}}, 16, at);
    }
    // A glow over the cap: a closed shell 2.5 units outside it, under the
    // gills too, textured with a dim cream row, its top steepened like the
    // cap's. Drawn after the body and added over it (the field is drawn
    // additively), it adds to the light the cap returns, as a halo of its own
    // outline. Its underside keeps 2.5 units off the rim and the gills all
    // the way in: where it came closer, the depth test let it through in
    // some pixels and not in others, and the rim showed a dotted dark line.
    {
        const float a = rimR + 2.5f, top = capH + 2.5f, v = glowV;
        std::vector<ProfilePoint> dome;
        const int steps = 14;
        for (int i = 0; i <= steps; ++i) {
            const float phi = kPi / 2 * float(i) / float(steps);
            const float nr = std::sin(phi) / a, ny = std::cos(phi) / (top * 2.5f), l = std::hypot(nr, ny);
            dome.push_back({a * std::sin(phi), i == steps ? 0.f : top * std::cos(phi), nr / l, ny / l, v});
        }
        // The gills run from (58, -1.5) by (34, -5) to the stem at (16, -7).
        std::vector<ProfilePoint> under = {
            {a, 0.f, 1.f, 0.f, v},
            {a, -2.5f, 0.8f, -0.6f, v},
            {rimR + 1.f, -4.2f, 0.3f, -1.f, v},
            {34.f, -7.5f, 0.2f, -1.f, v},
            {stemR(stemTop) + 2.5f, -9.6f, 0.f, -1.f, v},
            {0.f, -9.6f, 0.f, -1.f, v},
        };
        for (ProfilePoint& p : under) {
            const float l = std::hypot(p.nr, p.ny);
            p.nr /= l, p.ny /= l;
        }
        Revolve(b, dome, sides);
        Revolve(b, under, sides);
        // The same glow round the stem, from under the cap to the foot.
        std::vector<ProfilePoint> stem;
        for (int i = 0; i <= 8; ++i) {
            const float y = -9.f + (foot + 1.f + 9.f) * float(i) / 8.f;
            stem.push_back({stemR(y) + 2.5f, y, 1, 0, glowV});
        }
        Revolve(b, {{0.f, -9.f, 0, 1, glowV}, {stem.front().r, -9.f, 0, 1, glowV}}, sides);
        Revolve(b, stem, sides);
        Revolve(b, {{stem.back().r, stem.back().y, 0, -1, glowV}, {0.f, stem.back().y, 0, -1, glowV}}, sides);
    }
    ground(true);
    qor::A3fMesh mesh;
    mesh.objects.push_back(b.Take());
    return mesh;
}

}   // namespace mkdata
