// The generated meshes, read back through the engine's .a3f parser: object
// counts and budgets the scenes rely on, finite values, unit normals, winding
// that agrees with the normals, closed surfaces, and where each mesh stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "assets/a3f.h"
#include "generators.h"

namespace {

qor::A3fMesh Load(const char* name) {
    for (const mkdata::DataFile& f : mkdata::DataFiles()) {
        if (std::string(f.name) != name) continue;
        const std::vector<uint8_t> bytes = f.generate();
        qor::A3fMesh mesh;
        std::string error;
        EXPECT_TRUE(qor::ParseA3f(bytes.data(), bytes.size(), mesh, error)) << name << ": " << error;
        return mesh;
    }
    ADD_FAILURE() << "no generator for " << name;
    return {};
}

struct V3 {
    double x, y, z;
};
V3 Pos(const MeshVertex& v) { return {v.x, v.y, v.z}; }
V3 Nrm(const MeshVertex& v) { return {v.nx, v.ny, v.nz}; }
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Len(V3 a) { return std::sqrt(Dot(a, a)); }

size_t TriangleCount(const qor::A3fObject& o) { return (o.indices.empty() ? o.vertices.size() : o.indices.size()) / 3; }
uint32_t Index(const qor::A3fObject& o, size_t k) { return o.indices.empty() ? uint32_t(k) : o.indices[k]; }

// Every check that holds for all meshes: finite fields, unit normals, white,
// and every triangle wound clockwise seen from the side its normals face
// (engine culling: counter-clockwise on screen is a back face; with x right,
// y up, z away, that is (b - a) x (c - a) pointing along the normals).
// Triangles whose three vertices all have v >= backLitV are meant to be seen
// from behind their normals and must be wound the other way.
void CheckObject(const char* name, size_t index, const qor::A3fObject& o, float backLitV = 2.f) {
    SCOPED_TRACE(std::string(name) + " object " + std::to_string(index));
    ASSERT_FALSE(o.vertices.empty());
    size_t badNormals = 0, badFields = 0;
    for (const MeshVertex& v : o.vertices) {
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v}) badFields += std::isfinite(f) ? 0 : 1;
        badNormals += std::abs(Len(Nrm(v)) - 1.0) < 1e-4 ? 0 : 1;
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
    }
    EXPECT_EQ(badFields, 0u);
    EXPECT_EQ(badNormals, 0u);
    size_t against = 0, degenerate = 0;
    for (size_t t = 0; t < TriangleCount(o); ++t) {
        const MeshVertex& a = o.vertices[Index(o, 3 * t)];
        const MeshVertex& b = o.vertices[Index(o, 3 * t + 1)];
        const MeshVertex& c = o.vertices[Index(o, 3 * t + 2)];
        const V3 g = Cross(Sub(Pos(b), Pos(a)), Sub(Pos(c), Pos(a)));
        if (Len(g) < 1e-9) {
            ++degenerate;
            continue;
        }
        const V3 n{Nrm(a).x + Nrm(b).x + Nrm(c).x, Nrm(a).y + Nrm(b).y + Nrm(c).y, Nrm(a).z + Nrm(b).z + Nrm(c).z};
        const bool behind = a.v >= backLitV && b.v >= backLitV && c.v >= backLitV;
        if ((Dot(g, n) <= 0) != behind) ++against;
    }
    EXPECT_EQ(against, 0u) << "triangles wound against their normals";
    EXPECT_EQ(degenerate, 0u);
}

// A closed, consistently wound surface uses each edge once in each direction.
// Vertices are matched by position, so texture seams do not count as edges.
void ExpectClosed(const qor::A3fObject& o) {
    using Key = std::tuple<long, long, long>;
    auto key = [](const MeshVertex& v) {
        return Key{std::lround(v.x * 1000), std::lround(v.y * 1000), std::lround(v.z * 1000)};
    };
    std::map<std::pair<Key, Key>, int> edges;
    for (size_t t = 0; t < TriangleCount(o); ++t)
        for (int e = 0; e < 3; ++e) {
            const Key p = key(o.vertices[Index(o, 3 * t + e)]);
            const Key q = key(o.vertices[Index(o, 3 * t + (e + 1) % 3)]);
            ++edges[{p, q}];
        }
    size_t open = 0, repeated = 0;
    for (const auto& [edge, count] : edges) {
        if (count > 1) ++repeated;
        if (edges.count({edge.second, edge.first}) == 0) ++open;
    }
    EXPECT_EQ(open, 0u) << "edges without a partner in the opposite direction";
    EXPECT_EQ(repeated, 0u) << "edges used twice in one direction";
}

struct Extent {
    double minX = 1e30, maxX = -1e30, minY = 1e30, maxY = -1e30, minZ = 1e30, maxZ = -1e30, maxR = 0, minR = 1e30;
};
Extent Measure(const qor::A3fObject& o) {
    Extent e;
    for (const MeshVertex& v : o.vertices) {
        e.minX = std::min(e.minX, double(v.x)), e.maxX = std::max(e.maxX, double(v.x));
        e.minY = std::min(e.minY, double(v.y)), e.maxY = std::max(e.maxY, double(v.y));
        e.minZ = std::min(e.minZ, double(v.z)), e.maxZ = std::max(e.maxZ, double(v.z));
        e.maxR = std::max(e.maxR, Len(Pos(v)));
        e.minR = std::min(e.minR, Len(Pos(v)));
    }
    return e;
}

}   // namespace

// The knot is seen from 130 units away and carries most of the light of
// its scene: large, but well clear of the camera however it turns.
TEST(Meshes, KnotIsOneClosedSmoothTubeOfRadiusAbout72) {
    const qor::A3fMesh m = Load("knot.a3f");
    ASSERT_EQ(m.objects.size(), 1u);
    const qor::A3fObject& o = m.objects[0];
    CheckObject("knot.a3f", 0, o);
    ExpectClosed(o);
    EXPECT_GE(TriangleCount(o), 2000u);
    EXPECT_LE(TriangleCount(o), 6000u);
    const Extent e = Measure(o);
    EXPECT_NEAR(e.maxR, 72.0, 3.0);
    // Smooth shading: one vertex per position, shared by all its triangles.
    // The knot is loaded anew every frame of its scene and each load keeps
    // a copy of the vertices, so they stay few.
    EXPECT_LE(o.vertices.size() * 2, TriangleCount(o));
    EXPECT_LE(o.vertices.size(), 2000u);
}

// The swarm draws object 0 of geo.a3f 95 times a frame, nested, additively,
// and its innermost copy opaque without depth test; the largest copies pass
// around the camera.
TEST(Meshes, GeoLatticeIsOpenTwoSidedAndDrawsInnerSidesFirst) {
    const qor::A3fMesh m = Load("geo.a3f");
    // Any further object would be drawn unmapped by the swarm too.
    ASSERT_EQ(m.objects.size(), 1u);
    const qor::A3fObject& o = m.objects[0];
    CheckObject("geo.a3f", 0, o);
    EXPECT_LE(TriangleCount(o) * 95, 24000u) << "triangles per frame of the swarm";
    const Extent e = Measure(o);
    EXPECT_NEAR(e.maxR, 50.0, 1.0);
    EXPECT_GT(e.minR, 40.0) << "a lattice on the sphere, nothing near the centre";

    using Key = std::tuple<long, long, long>;
    auto key = [](const MeshVertex& v) {
        return Key{std::lround(v.x * 1000), std::lround(v.y * 1000), std::lround(v.z * 1000)};
    };
    std::map<std::vector<Key>, int> sides;   // corner positions (sorted) -> +1 outer, -1 inner side
    bool seenOuter = false;
    size_t innerAfterOuter = 0, unpaired = 0;
    double outerArea = 0;
    std::vector<std::vector<Key>> outerTriangles;
    for (size_t t = 0; t < TriangleCount(o); ++t) {
        const MeshVertex& a = o.vertices[Index(o, 3 * t)];
        const MeshVertex& b = o.vertices[Index(o, 3 * t + 1)];
        const MeshVertex& c = o.vertices[Index(o, 3 * t + 2)];
        // Faceted: every triangle's corners share one normal.
        EXPECT_TRUE(a.nx == b.nx && a.ny == b.ny && a.nz == b.nz && b.nx == c.nx && b.ny == c.ny && b.nz == c.nz);
        const bool facesOut = Dot(Nrm(a), Pos(a)) > 0;
        if (facesOut)
            seenOuter = true;
        else if (seenOuter)
            ++innerAfterOuter;
        std::vector<Key> corners = {key(a), key(b), key(c)};
        std::sort(corners.begin(), corners.end());
        sides[corners] += facesOut ? 1 : -1;
        if (facesOut) {
            outerArea += Len(Cross(Sub(Pos(b), Pos(a)), Sub(Pos(c), Pos(a)))) / 2;
            outerTriangles.push_back(corners);
        }
    }
    // The opaque copy: triangles facing the centre (seen from outside, they
    // lie on the far half) all come before those facing out.
    EXPECT_EQ(innerAfterOuter, 0u);
    // Seen from inside as from outside: each triangle has a twin on the same
    // corners facing the other way.
    for (const auto& [corners, balance] : sides) unpaired += balance != 0 ? 1 : 0;
    EXPECT_EQ(unpaired, 0u) << "strut triangles without a twin facing the other way";
    // Open: the struts cover a small part of the sphere, so 94 additive
    // layers stay light rather than a sheet, and few pixels are drawn.
    const double coverage = outerArea / (4 * M_PI * 50.0 * 50.0);
    EXPECT_GT(coverage, 0.03);
    EXPECT_LT(coverage, 0.25);
    // One lattice: the struts meet at shared nodes, all joined together.
    std::map<Key, Key> parent;
    std::function<Key(Key)> find = [&](Key k) {
        auto it = parent.find(k);
        if (it == parent.end() || it->second == k) return parent[k] = k;
        return it->second = find(it->second);
    };
    for (const auto& tri : outerTriangles)
        for (const Key& k : tri) parent[find(k)] = find(tri[0]);
    std::set<Key> roots;
    for (const auto& [k, p] : parent) roots.insert(find(k));
    EXPECT_EQ(roots.size(), 1u) << "struts that do not join the lattice";
}

// The trio draws its three objects around the camera in three viewports:
// they are nested spheres seen from inside, the outer one closed, and the
// camera at (50, 50, 0) stays inside the innermost for every transform the
// scene applies (translate by T(x), turn, scale by 1.5, x the local time of
// any of the three viewports over the 15.3 s window).
TEST(Meshes, TrioIsThreeNestedSpheresAroundTheCamera) {
    const qor::A3fMesh m = Load("scene1.a3f");
    ASSERT_EQ(m.objects.size(), 3u);
    double lastRadius = 0;
    double radius[3] = {};
    for (size_t i = 0; i < 3; ++i) {
        CheckObject("scene1.a3f", i, m.objects[i]);
        const Extent e = Measure(m.objects[i]);
        EXPECT_NEAR(e.minR, e.maxR, 1e-3 * e.maxR) << "object " << i << " is not a sphere about the origin";
        EXPECT_GT(e.minR, lastRadius) << "objects nest from 0 (inner) to 2 (outer)";
        lastRadius = radius[i] = e.maxR;
        size_t outward = 0;
        for (const MeshVertex& v : m.objects[i].vertices) outward += Dot(Nrm(v), Pos(v)) < 0 ? 0 : 1;
        EXPECT_EQ(outward, 0u) << "object " << i << ": normals must face the centre";
    }
    ExpectClosed(m.objects[2]);
    // The inner two have windows: fewer triangles than the closed one.
    EXPECT_LT(TriangleCount(m.objects[0]), TriangleCount(m.objects[2]));
    double farthest = 0;
    for (double scale : {1.0, 0.5, 1.0 / 3.0})
        for (int k = 0; k <= 1530; ++k) {
            const double x = k * 0.01 * scale;
            const V3 t = {std::sin(x * 0.25) * 35, std::cos(x / 3) * 15 - 30, std::sin(x * 0.5) * 15};
            farthest = std::max(farthest, Len(V3{50, 50, 0}) / 1.5 + Len(t));
        }
    EXPECT_LT(farthest + 5, radius[0]) << "the camera leaves the innermost sphere";
}

TEST(Meshes, TunnelSectionIsSeenFromInsideWithinVertexBudgets) {
    const qor::A3fMesh m = Load("tunnel.a3f");
    ASSERT_EQ(m.objects.size(), 3u);
    const size_t budget[3] = {600, 400, 300};
    for (size_t i = 0; i < 3; ++i) {
        CheckObject("tunnel.a3f", i, m.objects[i]);
        EXPECT_LE(m.objects[i].vertices.size(), budget[i]) << "object " << i;
        const Extent e = Measure(m.objects[i]);
        EXPECT_GE(e.minZ, 0.0);
        EXPECT_LE(e.maxZ, 50.0);
    }
    const qor::A3fObject& wall = m.objects[0];
    const Extent e = Measure(wall);
    EXPECT_EQ(e.minZ, 0.0);
    EXPECT_EQ(e.maxZ, 50.0);
    EXPECT_GT(e.maxX, 85.0);
    EXPECT_LT(e.maxX, 110.0);
    // Wall normals face the axis; the floor's point up, the ceiling's down.
    size_t floor = 0, ceiling = 0;
    for (const MeshVertex& v : wall.vertices) {
        EXPECT_LT(v.x * v.nx + v.y * v.ny, 0.f) << "wall normal facing away from the axis";
        EXPECT_NEAR(v.nz, 0.f, 1e-6f);
        // Inside the floor and ceiling faces (away from the corners shared
        // with the slanted faces).
        if (v.y < e.minY + 0.01 && std::abs(v.x) < 30.f) {
            ++floor;
            EXPECT_NEAR(v.ny, 1.f, 1e-5f);
        }
        if (v.y > e.maxY - 0.01 && std::abs(v.x) < 30.f) {
            ++ceiling;
            EXPECT_NEAR(v.ny, -1.f, 1e-5f);
        }
    }
    EXPECT_GT(floor, 0u);
    EXPECT_GT(ceiling, 0u);
    // Nothing stands outside the wall, so the camera (40 to the side, 20 up
    // or down) never looks out through detail.
    double wallReach = 0;
    for (const MeshVertex& v : wall.vertices) wallReach = std::max(wallReach, std::hypot(double(v.x), double(v.y)));
    for (size_t i = 1; i < 3; ++i)
        for (const MeshVertex& v : m.objects[i].vertices)
            EXPECT_LE(std::hypot(double(v.x), double(v.y)), wallReach + 1e-3);
}

// The closing scene draws twenty copies at (sin 3i * 280, 0, cos 5i * 250),
// i < 20, each translated there and then turned with the whole field about
// the world x axis by t, while the camera flies from the origin to
// (200, 300, 100) over five seconds and stays. The mesh must stay clear of
// the camera by a margin at every moment.
TEST(Meshes, SieniIsAMushroomClumpThatKeepsOffTheCamera) {
    const qor::A3fMesh m = Load("sieni.a3f");
    ASSERT_EQ(m.objects.size(), 1u);
    const qor::A3fObject& o = m.objects[0];
    CheckObject("sieni.a3f", 0, o, 0.9f);
    {   // The mushroom is closed; the ground discs (rows 0.84..0.93) are not.
        qor::A3fObject body;
        body.vertices = o.vertices;
        for (size_t t = 0; t < TriangleCount(o); ++t) {
            const float v = o.vertices[Index(o, 3 * t)].v;
            if (v < 0.84f || v >= 0.935f)
                for (int k = 0; k < 3; ++k) body.indices.push_back(Index(o, 3 * t + size_t(k)));
        }
        ExpectClosed(body);
    }
    const Extent e = Measure(o);
    EXPECT_NEAR(e.maxX, -e.minX, 0.5);
    EXPECT_NEAR(e.maxZ, -e.minZ, 0.5);
    // A wide cap: broader than it stands above the origin, so it reads from afar.
    EXPECT_GT(e.maxX, 1.2 * e.maxY);
    EXPECT_GT(e.maxX, 50.0);
    // The ground (rows 0.845..0.885 and its underside 0.9..0.93) lies in
    // one plane bar a gentle bulge, and a plane comes to the camera only
    // edge on: the body keeps its distance, the ground may reach further.
    auto isGround = [](const MeshVertex& v) { return (v.v >= 0.84f && v.v <= 0.89f) || (v.v >= 0.9f && v.v <= 0.93f); };
    double reach = 0;
    size_t ground = 0;
    for (const MeshVertex& v : o.vertices) {
        if (isGround(v)) {
            ++ground;
            EXPECT_GE(v.y, -51.6f);
            EXPECT_LE(v.y, -45.9f);
            continue;
        }
        reach = std::max(reach, Len(Pos(v)));
    }
    EXPECT_GT(ground, 0u);
    double nearest = 1e9;
    for (int k = 0; k <= 15000; ++k) {
        const double t = k / 1000.0, b = t > 5 ? 1.0 : t / 5;
        const V3 eye = {200 * b, 300 * b, 100 * b};
        for (int i = 0; i < 20; ++i) {
            const double x = std::sin(3.0 * i) * 280, z = std::cos(5.0 * i) * 250;
            nearest = std::min(nearest, Len(Sub(V3{x, -z * std::sin(t), z * std::cos(t)}, eye)));
        }
    }
    EXPECT_NEAR(nearest, 70.7, 0.5);
    EXPECT_LT(reach + 10, nearest) << "a copy sweeps through the camera";
    // The top of the cap faces up, the middle of the sole faces down.
    size_t apex = 0, sole = 0;
    for (const MeshVertex& v : o.vertices) {
        if (v.y > e.maxY - 0.01) {
            ++apex;
            EXPECT_GT(v.ny, 0.99f);
        }
        if (v.y == float(e.minY) && v.x == 0.f && v.z == 0.f) {
            ++sole;
            EXPECT_LT(v.ny, -0.99f);
        }
    }
    EXPECT_GT(apex, 0u);
    EXPECT_GT(sole, 0u);
    // The gills (v 0.45..0.62, under the caps) face down and outward from
    // the axis of their mushroom, so a light level with them reaches them.
    size_t gills = 0;
    for (const MeshVertex& v : o.vertices) {
        if (v.v <= 0.46f || v.v >= 0.62f || v.ny > -0.5f) continue;
        ++gills;
    }
    EXPECT_GT(gills, 20u);
}

// The light of the closing scene stays level with every copy's origin in the
// mesh's own frame (it swings along the axis the field turns about), at
// (lx - x, 0, -z) from copy i at (x, 0, z), lx in -100..100. How much light a
// copy returns to an eye far off in direction eye: the projected area of the
// triangles that face the eye, weighted by their mean max(0, N.L), over the
// projected area of all triangles that face it.
double LitShare(const qor::A3fObject& o, V3 light, V3 eye) {
    double lit = 0, all = 0;
    for (size_t t = 0; t < TriangleCount(o); ++t) {
        const MeshVertex& a = o.vertices[Index(o, 3 * t)];
        const MeshVertex& b = o.vertices[Index(o, 3 * t + 1)];
        const MeshVertex& c = o.vertices[Index(o, 3 * t + 2)];
        const double area = Dot(Cross(Sub(Pos(b), Pos(a)), Sub(Pos(c), Pos(a))), eye) / 2;
        if (area <= 0) continue;   // culled
        double l = 0;
        for (const MeshVertex* v : {&a, &b, &c}) l += std::max(0.0, Dot(Nrm(*v), light)) / 3;
        lit += area * l;
        all += area;
    }
    return all > 0 ? lit / all : 0;
}

V3 Unit(V3 a) {
    const double l = Len(a);
    return {a.x / l, a.y / l, a.z / l};
}

// Seen from its dark side (the light behind it, the eye level with it or
// above or below) a copy still glows: its back-lit shell (rows from 0.935),
// seen through the body, faces the light. It comes first in the triangle
// list, so the body drawn after it passes the depth test over it and adds
// to it. The ground's underside (rows 0.9..0.93), also seen from behind its
// normals, comes last, so the body shows through it from below.
TEST(Meshes, SieniGlowsFromItsDarkSide) {
    const qor::A3fMesh m = Load("sieni.a3f");
    ASSERT_EQ(m.objects.size(), 1u);
    const qor::A3fObject& o = m.objects[0];
    size_t backLit = 0, underside = 0, firstBody = TriangleCount(o), lastBody = 0, firstUnderside = TriangleCount(o);
    qor::A3fObject body;   // without the ground: the light the mushroom itself returns
    body.vertices = o.vertices;
    for (size_t t = 0; t < TriangleCount(o); ++t) {
        const float v = o.vertices[Index(o, 3 * t)].v;
        if (v >= 0.935f) {
            ++backLit;
            EXPECT_LT(t, firstBody) << "back-lit triangle after the body";
        } else if (v >= 0.9f) {
            ++underside;
            firstUnderside = std::min(firstUnderside, t);
        } else {
            firstBody = std::min(firstBody, t);
            lastBody = t;
        }
        if (v < 0.84f || v >= 0.935f)
            for (int k = 0; k < 3; ++k) body.indices.push_back(Index(o, 3 * t + size_t(k)));
    }
    EXPECT_GT(backLit, 500u);
    EXPECT_GT(underside, 0u);
    EXPECT_GT(firstUnderside, lastBody) << "the ground's underside hides the body drawn after it";
    double worstDark = 1, worstLit = 1;
    for (int i = 0; i < 20; ++i)
        for (double lx : {-100.0, 0.0, 100.0}) {
            const V3 light = Unit({lx - std::sin(3.0 * i) * 280, 0, -std::cos(5.0 * i) * 250});
            worstLit = std::min(worstLit, LitShare(body, light, light));
            for (double rise : {-0.8, 0.0, 0.8})
                worstDark = std::min(worstDark, LitShare(body, light, Unit({-light.x, rise, -light.z})));
        }
    EXPECT_GT(worstLit, 0.3);
    EXPECT_GT(worstDark, 0.12) << "a copy seen from its dark side shows nothing";
}

// Distance from p to the triangle a, b, c.
double PointTriangle(V3 p, V3 a, V3 b, V3 c) {
    const V3 ab = Sub(b, a), ac = Sub(c, a), n = Cross(ab, ac);
    const double nn = Dot(n, n);
    if (nn > 0) {   // inside the prism over the triangle: the distance to its plane
        const V3 ap = Sub(p, a);
        const double u = Dot(Cross(ap, ac), n) / nn, w = Dot(Cross(ab, ap), n) / nn;
        if (u >= 0 && w >= 0 && u + w <= 1) return std::abs(Dot(ap, n)) / std::sqrt(nn);
    }
    auto segment = [&](V3 s0, V3 s1) {
        const V3 d = Sub(s1, s0);
        const double t = std::clamp(Dot(Sub(p, s0), d) / std::max(Dot(d, d), 1e-12), 0.0, 1.0);
        return Len(Sub(p, V3{s0.x + d.x * t, s0.y + d.y * t, s0.z + d.z * t}));
    };
    return std::min({segment(a, b), segment(b, c), segment(c, a)});
}

// The glow over the cap (row 0.82) is added over the body through the depth
// test; where it passed within a fraction of a unit of the rim and the gills,
// the depth test let it through in some pixels and not in others, and the
// rim showed a dotted dark line. Its underside keeps clear of them.
TEST(Meshes, SieniGlowKeepsClearOfTheRimAndGills) {
    const qor::A3fMesh m = Load("sieni.a3f");
    ASSERT_EQ(m.objects.size(), 1u);
    const qor::A3fObject& o = m.objects[0];
    std::vector<size_t> underCap;   // triangles of the big cap's lip and gills
    for (size_t t = 0; t < TriangleCount(o); ++t) {
        const MeshVertex& a = o.vertices[Index(o, 3 * t)];
        if (a.v > 0.4f && a.v < 0.62f && a.y < 0.5f && a.y > -8.f && std::hypot(a.x, a.z) > 20.f) underCap.push_back(t);
    }
    ASSERT_GT(underCap.size(), 50u);
    double nearest = 1e9;
    size_t glow = 0;
    for (const MeshVertex& g : o.vertices) {
        if (std::abs(g.v - 0.82f) > 1e-4f || g.y > 0.f || g.y < -10.f || std::hypot(g.x, g.z) < 20.f) continue;
        ++glow;
        for (size_t t : underCap)
            nearest = std::min(
                nearest, PointTriangle(Pos(g), Pos(o.vertices[Index(o, 3 * t)]), Pos(o.vertices[Index(o, 3 * t + 1)]),
                                       Pos(o.vertices[Index(o, 3 * t + 2)])));
    }
    EXPECT_GT(glow, 50u);
    EXPECT_GT(nearest, 1.5) << "the glow runs into the rim or the gills";
}
