// The .a3f reader on good and malformed files, and the mesh store's copies.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "assets/a3f.h"
#include "assets/datadir.h"
#include "assets/meshes.h"

namespace {

MeshVertex Vertex(float x, float y, float z) { return MeshVertex{x, y, z, 0, 1, 0, 0xFFFFFFFFu, x * 0.5f, y * 0.25f}; }

qor::A3fMesh TwoObjects() {
    qor::A3fMesh m;
    m.objects.resize(2);
    m.objects[0].vertices = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0), Vertex(1, 1, 0)};
    m.objects[0].indices = {0, 1, 2, 2, 1, 3};
    m.objects[1].vertices = {Vertex(5, 5, 5), Vertex(6, 5, 5), Vertex(5, 6, 5)};
    return m;
}

void Put(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

std::string Parse(const std::vector<uint8_t>& bytes) {
    qor::A3fMesh out;
    std::string error;
    if (qor::ParseA3f(bytes.data(), bytes.size(), out, error)) return "ok";
    EXPECT_TRUE(out.objects.empty());
    return error;
}

TEST(A3f, RoundTripKeepsEveryField) {
    const qor::A3fMesh in = TwoObjects();
    const std::vector<uint8_t> bytes = qor::WriteA3f(in);
    ASSERT_EQ(bytes.size(), 8u + 8 + 4 * 36 + 6 * 4 + 8 + 3 * 36);
    EXPECT_EQ(std::memcmp(bytes.data(), "A3F1", 4), 0);
    qor::A3fMesh out;
    std::string error;
    ASSERT_TRUE(qor::ParseA3f(bytes.data(), bytes.size(), out, error)) << error;
    ASSERT_EQ(out.objects.size(), 2u);
    EXPECT_EQ(out.objects[0].indices, in.objects[0].indices);
    EXPECT_TRUE(out.objects[1].indices.empty());
    EXPECT_EQ(std::memcmp(out.objects[1].vertices.data(), in.objects[1].vertices.data(), 3 * 36), 0);
}

TEST(A3f, MalformedFilesNameTheFault) {
    const std::vector<uint8_t> good = qor::WriteA3f(TwoObjects());
    // Offsets: object count 4; object 0 counts 8, 12; vertices 16..; indices at 160.
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        Put(b, at, v);
        return Parse(b);
    };
    EXPECT_NE(Parse({'A', '3'}).find("too short"), std::string::npos);
    std::vector<uint8_t> magic = good;
    magic[3] = '2';
    EXPECT_NE(Parse(magic).find("magic"), std::string::npos);
    EXPECT_NE(with(4, 0).find("object count 0"), std::string::npos);
    EXPECT_NE(with(4, 4097).find("object count 4097"), std::string::npos);
    EXPECT_NE(with(8, 1048577).find("vertex count"), std::string::npos);
    EXPECT_NE(with(12, 4).find("multiple of 3"), std::string::npos);
    EXPECT_NE(with(12, 3145731).find("index count"), std::string::npos);
    // Counts within their limits but far beyond the bytes present.
    EXPECT_NE(with(8, 1048576).find("past the end"), std::string::npos);
    EXPECT_NE(with(12, 3145728).find("past the end"), std::string::npos);
    EXPECT_NE(with(4, 3).find("past the end"), std::string::npos);
    EXPECT_NE(with(160 + 4 * 4, 4).find("index 4 (4) is out of range"), std::string::npos);
    EXPECT_NE(with(160, 0xFFFFFFFFu).find("out of range"), std::string::npos);
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    EXPECT_NE(Parse(trailing).find("1 trailing bytes"), std::string::npos);
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_NE(Parse(truncated).find("past the end"), std::string::npos);
    // Without indices the vertices must make whole triangles.
    qor::A3fMesh loose;
    loose.objects.resize(1);
    loose.objects[0].vertices = {Vertex(0, 0, 0), Vertex(1, 0, 0)};
    EXPECT_NE(Parse(qor::WriteA3f(loose)).find("whole triangles"), std::string::npos);
    // Every truncation of a good file is rejected, none crashes.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(Parse(std::vector<uint8_t>(good.begin(), good.begin() + long(n))), "ok") << n;
}

class MeshStore : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("teq-a3f-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        qor::SetDataDir(dir_.string());
        std::string error;
        ASSERT_TRUE(qor::WriteA3fFile((dir_ / "two.a3f").string(), TwoObjects(), error)) << error;
        std::ofstream(dir_ / "bad.a3f") << "A3F1 not really";
    }
    void TearDown() override {
        qor::SetDataDir("");
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

TEST_F(MeshStore, EveryLoadIsASeparateCopyWithItsOwnId) {
    const uint32_t before = qor::LoadedMeshCount();
    const MeshHandle a = qor::LoadMeshCopy("two.a3f");
    const MeshHandle b = qor::LoadMeshCopy("two.a3f");
    ASSERT_EQ(a.objectCount, 2u);
    ASSERT_EQ(b.objectCount, 2u);
    EXPECT_EQ(a.objects[0].meshId, before + 1);
    EXPECT_EQ(b.objects[1].meshId, before + 2);
    EXPECT_EQ(b.objects[1].objectIndex, 1u);
    EXPECT_EQ(a.objects[0].vertexCount, 4);
    EXPECT_NE(a.objects[0].vertices, b.objects[0].vertices);
    a.objects[0].vertices[1].x = 99.0f;   // rewriting one copy leaves the other
    EXPECT_EQ(b.objects[0].vertices[1].x, 1.0f);

    const qor::TriangleList indexed = qor::MeshTriangles(b.objects[0]);
    ASSERT_EQ(indexed.count, 6u);
    EXPECT_EQ(indexed.indices[5], 3u);
    const qor::TriangleList sequential = qor::MeshTriangles(b.objects[1]);
    ASSERT_EQ(sequential.count, 3u);
    EXPECT_EQ(sequential.indices[2], 2u);
    EXPECT_EQ(qor::MeshTriangles(MeshObject{nullptr, 0, 0, 0}).count, 0u);
    EXPECT_EQ(qor::MeshTriangles(MeshObject{nullptr, 0, 1u << 30, 0}).count, 0u);
}

TEST_F(MeshStore, MissingAndBadFilesGiveEmptyMeshesAndStillCount) {
    const uint32_t before = qor::LoadedMeshCount();
    testing::internal::CaptureStderr();
    const MeshHandle missing = qor::LoadMeshCopy("none.a3f");
    const MeshHandle bad = qor::LoadMeshCopy("bad.a3f");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(missing.objects, nullptr);
    EXPECT_EQ(missing.objectCount, 0u);
    EXPECT_EQ(bad.objectCount, 0u);
    EXPECT_EQ(qor::LoadedMeshCount(), before + 2);
    EXPECT_NE(err.find("none.a3f: cannot open"), std::string::npos) << err;
    EXPECT_NE(err.find("bad.a3f:"), std::string::npos) << err;
}

// The reader holds each object's counts against the limits before it reads
// the object: a file claiming more is refused by its counts alone (here with
// data that is not even there), and what it holds counts index memory.
TEST(A3fFile, LimitsAreCheckedFromTheCountsFirst) {
    const std::string path = testing::TempDir() + "/limits.a3f";
    const std::vector<uint8_t> good = qor::WriteA3f(TwoObjects());
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));
    }
    // Object 0: 4 vertices twice, 6 indices; object 1: 3 vertices twice and 3 made-up indices.
    EXPECT_EQ(qor::A3fObjectBytes(4, 6, 2), 4u * 36 * 2 + 24);
    EXPECT_EQ(qor::A3fObjectBytes(3, 0, 1), 3u * 36 + 12);
    const uint64_t whole = qor::A3fObjectBytes(4, 6, 2) + qor::A3fObjectBytes(3, 0, 2);
    qor::A3fMesh mesh;
    std::string error;
    qor::A3fLimits fits{whole, 2, 3};
    EXPECT_TRUE(qor::ReadA3fFile(path, mesh, error, fits)) << error;
    EXPECT_FALSE(fits.exceeded);
    qor::A3fLimits bytes{whole - 1, 2, 3};
    EXPECT_FALSE(qor::ReadA3fFile(path, mesh, error, bytes));
    EXPECT_TRUE(bytes.exceeded);
    EXPECT_TRUE(mesh.objects.empty());
    EXPECT_NE(error.find("by object 1, over the 0 MiB left of the mesh memory budget"), std::string::npos) << error;
    qor::A3fLimits triangles{whole, 2, 2};
    EXPECT_FALSE(qor::ReadA3fFile(path, mesh, error, triangles));
    EXPECT_NE(error.find("more than 3 triangles by object 1, over the limit of 2"), std::string::npos) << error;

    // Counts of a 36 MiB object in a file of a few bytes: refused by the
    // budget before the missing data is looked for.
    std::vector<uint8_t> huge = good;
    Put(huge, 8, 1048575);
    Put(huge, 12, 0);
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(huge.data()), std::streamsize(huge.size()));
    }
    EXPECT_FALSE(qor::ReadA3fFile(path, mesh, error, qor::A3fLimits{1 << 20, 1, UINT64_MAX}));
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;   // the size is checked first
    std::vector<uint8_t> grown = good;
    grown.push_back(0);
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(grown.data()), std::streamsize(grown.size()));
    }
    EXPECT_FALSE(qor::ReadA3fFile(path, mesh, error));
    EXPECT_NE(error.find("1 trailing bytes"), std::string::npos) << error;
    std::remove(path.c_str());
}

// Drawing takes triangles from the frame's budget; the object that crosses it
// is cut to what is left, later ones get nothing, and the next frame starts afresh.
TEST_F(MeshStore, DrawingIsCutAtTheFrameBudget) {
    const MeshHandle a = qor::LoadMeshCopy("two.a3f");
    ASSERT_EQ(a.objectCount, 2u);
    qor::StartMeshFrame();
    testing::internal::CaptureStderr();
    uint64_t drawn = 0;
    uint32_t last = 0;
    for (uint32_t k = 0; k <= qor::kMeshFrameTriangles / 2; ++k) {
        last = qor::MeshTrianglesToDraw(a.objects[0]).count;
        drawn += last / 3;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(drawn, qor::kMeshFrameTriangles);
    EXPECT_EQ(last, 0u);
    EXPECT_NE(err.find("more than 1048576 triangles in one frame"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    qor::StartMeshFrame();
    EXPECT_EQ(qor::MeshTrianglesToDraw(a.objects[1]).count, 3u);
}

TEST_F(MeshStore, LoadsStopAtTheMemoryBudget) {
    qor::SetMeshMemoryBudget(0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(qor::LoadMeshCopy("two.a3f").objectCount, 0u);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("budget"), std::string::npos) << err;
    qor::SetMeshMemoryBudget(qor::kMeshMemoryBudget);
    EXPECT_EQ(qor::LoadMeshCopy("two.a3f").objectCount, 2u);
}

}   // namespace
