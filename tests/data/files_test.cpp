// The generator as a whole and its pictures: the same bytes on every run,
// every file the demo loads, each picture decoded by the engine's own
// loaders, and the properties the scenes need from them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "assets/a3f.h"
#include "assets/images.h"
#include "generators.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> ExpectedNames() {
    std::set<std::string> names;
    std::stringstream list(TEQ_DATA_FILE_LIST);
    for (std::string name; std::getline(list, name, ',');) names.insert(name);
    return names;
}

const std::vector<uint8_t>& Bytes(const std::string& name) {
    static std::map<std::string, std::vector<uint8_t>> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    for (const mkdata::DataFile& f : mkdata::DataFiles())
        if (name == f.name) return cache[name] = f.generate();
    ADD_FAILURE() << "no generator for " << name;
    return cache[name];
}

qor::Picture Decode(const std::string& name) {
    const std::vector<uint8_t>& bytes = Bytes(name);
    qor::Picture p;
    std::string error;
    EXPECT_TRUE(qor::DecodePicture(bytes.data(), bytes.size(), p, error)) << name << ": " << error;
    return p;
}

int R(uint32_t c) { return int(c >> 16 & 255); }
int G(uint32_t c) { return int(c >> 8 & 255); }
int B(uint32_t c) { return int(c & 255); }
int A(uint32_t c) { return int(c >> 24); }
int MaxRgb(uint32_t c) { return std::max({R(c), G(c), B(c)}); }

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh, empty folder under the temp directory, removed at scope exit.
struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& tag)
        : path(fs::temp_directory_path() / ("teq-data-" + tag + "-" + std::to_string(getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

int RunGenerator(const std::string& args) {
    const std::string cmd = std::string("\"") + TEQ_MKDATA + "\" " + args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

}   // namespace

TEST(Generator, WritesEveryFileWithTheSameBytesOnEveryRun) {
    TempDir a("a"), b("b");
    ASSERT_EQ(RunGenerator(a.path.string()), 0);
    ASSERT_EQ(RunGenerator(b.path.string()), 0);
    const std::set<std::string> expected = ExpectedNames();
    EXPECT_EQ(expected.size(), 22u);
    EXPECT_EQ(Listing(a.path), expected);
    EXPECT_EQ(Listing(b.path), expected);
    for (const std::string& name : expected) {
        const std::vector<uint8_t> first = ReadAll(a.path / name), second = ReadAll(b.path / name);
        EXPECT_TRUE(first == second) << name << " differs between runs";
        if (name != "distortion.xm") {
            EXPECT_FALSE(first.empty()) << name;
        }
    }
    // The in-process table lists the same files as the build.
    std::set<std::string> table;
    for (const mkdata::DataFile& f : mkdata::DataFiles()) table.insert(f.name);
    EXPECT_EQ(table, expected);
}

TEST(Generator, RejectsBadArgumentsWithoutWritingAnything) {
    TempDir dir("bad");
    EXPECT_EQ(RunGenerator(""), 2);
    EXPECT_EQ(RunGenerator(dir.path.string() + " nosuch.png"), 2);
    EXPECT_TRUE(Listing(dir.path).empty());
    // A single named file is written alone.
    ASSERT_EQ(RunGenerator(dir.path.string() + " grid1.png"), 0);
    EXPECT_EQ(Listing(dir.path), std::set<std::string>{"grid1.png"});
    EXPECT_TRUE(ReadAll(dir.path / "grid1.png") == Bytes("grid1.png"));
    // A path that cannot be a folder fails cleanly.
    EXPECT_NE(RunGenerator((dir.path / "grid1.png" / "sub").string()), 0);
}

TEST(Pictures, EveryPictureDecodesWithTheEngineLoadersAtItsSize) {
    const std::map<std::string, std::pair<int, int>> sizes = {
        {"wormhole.jpg", {256, 256}}, {"grid1.png", {256, 256}}, {"tech.jpg", {256, 256}},
        {"geo.jpg", {256, 256}},      {"valo.png", {256, 256}},  {"02.jpg", {256, 256}},
        {"04.jpg", {256, 256}},       {"05.jpg", {256, 256}},    {"tunnel.jpg", {256, 256}},
        {"darkgray.jpg", {128, 128}}, {"sieni.jpg", {256, 256}}, {"iwish.png", {256, 256}},
        {"skater.png", {256, 256}},   {"bitch.png", {256, 256}}, {"cre.png", {256, 256}},
        {"smfont.png", {160, 192}},
    };
    for (const auto& [name, size] : sizes) {
        const qor::Picture p = Decode(name);
        EXPECT_EQ(p.width, size.first) << name;
        EXPECT_EQ(p.height, size.second) << name;
        EXPECT_EQ(p.argb.size(), size_t(size.first) * size.second) << name;
    }
    // The file names tell the format.
    for (const std::string& name : ExpectedNames()) {
        const std::vector<uint8_t>& b = Bytes(name);
        if (name.ends_with(".png")) {
            EXPECT_TRUE(b.size() > 8 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') << name;
        }
        if (name.ends_with(".jpg")) {
            EXPECT_TRUE(b.size() > 3 && b[0] == 0xFF && b[1] == 0xD8) << name;
        }
    }
}

// The swarm's 94 additive copies of the geo lattice, each lit by valo.png at
// vertex grey 100: a line of sight through the swarm crosses each copy twice,
// and meets a strut on the fraction of the sphere the lattice covers. The
// light summed that way must show and must not turn white; bright texels are
// sparse; and the swarm is drawn with the alpha channel applied in one window
// and ignored in the other, which must give nearly the same light.
TEST(Pictures, SwarmLightShowsWithoutWhiteningOver94Layers) {
    const qor::Picture p = Decode("valo.png");
    double sumRgb = 0, sumRgbA = 0;
    size_t lit = 0;
    for (uint32_t c : p.argb) {
        const double grey = (R(c) + G(c) + B(c)) / 3.0;
        sumRgb += grey;
        sumRgbA += grey * A(c) / 255.0;
        lit += MaxRgb(c) > 40 ? 1 : 0;
    }
    const std::vector<uint8_t>& bytes = Bytes("geo.a3f");
    qor::A3fMesh mesh;
    std::string error;
    ASSERT_TRUE(qor::ParseA3f(bytes.data(), bytes.size(), mesh, error)) << error;
    ASSERT_FALSE(mesh.objects.empty());
    const qor::A3fObject& o = mesh.objects[0];
    ASSERT_FALSE(o.indices.empty());
    double outerArea = 0, radius = 0;
    for (const MeshVertex& v : o.vertices)
        radius = std::max(radius, std::sqrt(double(v.x * v.x + v.y * v.y + v.z * v.z)));
    for (size_t t = 0; t + 2 < o.indices.size(); t += 3) {
        const MeshVertex& a = o.vertices[o.indices[t]];
        const MeshVertex& b = o.vertices[o.indices[t + 1]];
        const MeshVertex& c = o.vertices[o.indices[t + 2]];
        if (a.nx * a.x + a.ny * a.y + a.nz * a.z <= 0) continue;   // the inner side of a strut
        const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const double wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
        outerArea += std::sqrt(std::pow(uy * wz - uz * wy, 2) + std::pow(uz * wx - ux * wz, 2) +
                               std::pow(ux * wy - uy * wx, 2)) /
                     2;
    }
    ASSERT_GT(radius, 0.0);
    const double crossings = 2 * outerArea / (4 * M_PI * radius * radius);
    const double n = double(p.argb.size());
    const double layered = 94 * crossings * (100.0 / 255.0) * sumRgb / n;
    const double layeredAlpha = 94 * crossings * (100.0 / 255.0) * sumRgbA / n;
    EXPECT_LT(layered, 120.0) << "a white sheet";
    EXPECT_GT(layeredAlpha, 15.0) << "too faint to be seen";
    EXPECT_GT(sumRgbA / sumRgb, 0.8) << "the two windows would show different light";
    EXPECT_LT(double(lit) / n, 0.12);
}

// Textures that repeat across meshes must not show a seam: the step from the
// last column (row) back to the first is no larger than the steps between
// neighbouring columns (rows) inside the picture.
TEST(Pictures, RepeatingTexturesTileWithoutSeams) {
    // Sum over a column boundary (x0 | x1) or a row boundary of the colour steps.
    auto columnStep = [](const qor::Picture& p, int x0, int x1) {
        long sum = 0;
        for (int y = 0; y < p.height; ++y) {
            const uint32_t a = p.argb[size_t(y) * p.width + x0], b = p.argb[size_t(y) * p.width + x1];
            sum += std::abs(R(a) - R(b)) + std::abs(G(a) - G(b)) + std::abs(B(a) - B(b));
        }
        return sum;
    };
    auto rowStep = [](const qor::Picture& p, int y0, int y1) {
        long sum = 0;
        for (int x = 0; x < p.width; ++x) {
            const uint32_t a = p.argb[size_t(y0) * p.width + x], b = p.argb[size_t(y1) * p.width + x];
            sum += std::abs(R(a) - R(b)) + std::abs(G(a) - G(b)) + std::abs(B(a) - B(b));
        }
        return sum;
    };
    struct Case {
        const char* name;
        bool vertical;
    };
    // The wall's v never leaves 0..0.54 and the opening shows the grid once,
    // so it need not tile in v; the trio's panorama and colonnade run from
    // pole to pole in v.
    for (const Case c : {Case{"grid1.png", false}, Case{"geo.jpg", true}, Case{"valo.png", true}, Case{"02.jpg", false},
                         Case{"04.jpg", true}, Case{"05.jpg", true}, Case{"tunnel.jpg", true},
                         Case{"darkgray.jpg", true}, Case{"sieni.jpg", false}}) {
        const qor::Picture p = Decode(c.name);
        long insideX = 0, insideY = 0;
        for (int x = 0; x + 1 < p.width; ++x) insideX = std::max(insideX, columnStep(p, x, x + 1));
        for (int y = 0; y + 1 < p.height; ++y) insideY = std::max(insideY, rowStep(p, y, y + 1));
        EXPECT_LE(columnStep(p, p.width - 1, 0), insideX * 11 / 10 + 4L * p.height) << c.name << ": seam across u";
        if (c.vertical) {
            EXPECT_LE(rowStep(p, p.height - 1, 0), insideY * 11 / 10 + 4L * p.width) << c.name << ": seam across v";
        }
    }
}

TEST(Pictures, EnvironmentMapHasSkyAboveAndGroundBelow) {
    const qor::Picture p = Decode("tech.jpg");
    auto at = [&](int x, int y) { return p.argb[size_t(y) * p.width + x]; };
    // Upward normals (top of the picture) reflect blue sky, downward ones warm ground.
    EXPECT_GT(B(at(128, 40)), R(at(128, 40)) + 40);
    EXPECT_GT(R(at(128, 216)), B(at(128, 216)) + 20);
}
// The wall's grid: 8 x 8 tiles whose light is spread evenly, parted by dark
// seams on every 32nd row and column, in the rows the wall shows (its v is
// at most 0.536); below them, shown only by the opening's background, the
// tiles brighten toward the bottom.
TEST(Pictures, GridIsEvenTilesPartedByDarkSeams) {
    const qor::Picture p = Decode("grid1.png");
    ASSERT_EQ(p.width, 256);
    const int wallRows = 138;
    std::vector<double> tile;   // luma of the texels off the seams
    size_t seam = 0, dark = 0;
    double top = 0, bottom = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint32_t c = p.argb[size_t(y) * 256 + x];
            EXPECT_EQ(A(c), 255);
            const double luma = 0.2126 * R(c) + 0.7152 * G(c) + 0.0722 * B(c);
            if (y < 32) top += luma;
            if (y >= 224) bottom += luma;
            if (y >= wallRows) continue;
            EXPECT_LT(MaxRgb(c), 160) << "far below white, so what is added over it keeps its colour";
            dark += MaxRgb(c) < 12 ? 1 : 0;
            const int dx = std::min(x % 32, 32 - x % 32), dy = std::min(y % 32, 32 - y % 32);
            if (std::min(dx, dy) == 0) {
                ++seam;
                EXPECT_LT(MaxRgb(c), 12) << "seam at " << x << ", " << y;
            }
            if (std::min(dx, dy) >= 4 && std::min((x + 16) % 32, 32 - (x + 16) % 32) >= 3 &&
                std::min((y + 16) % 32, 32 - (y + 16) % 32) >= 3)
                tile.push_back(luma);
        }
    EXPECT_EQ(seam, 256u * 5 + 8u * 138 - 8u * 5);   // rows 0, 32, 64, 96, 128 and 8 columns
    EXPECT_LT(double(dark) / (256.0 * wallRows), 0.25) << "mostly lit tiles";
    // The tiles glow evenly, whatever their hue: a letter added over the
    // wall is measured against the brightest tenth of what surrounds it.
    std::sort(tile.begin(), tile.end());
    ASSERT_FALSE(tile.empty());
    const double median = tile[tile.size() / 2], p90 = tile[tile.size() * 9 / 10];
    EXPECT_GT(median, 15.0);
    EXPECT_LT(median, 35.0) << "the credits read against the wall";
    EXPECT_LT(p90, 1.25 * median);
    EXPECT_GT(bottom, 2.5 * top) << "the opening's floor glows";
}

// Overlays are added over the scenes: black background, ink that shows.
// The credits' ink is bold and bright; the three overlays that also strobe
// (a random grey every frame) keep their ink soft and never red, so each
// flash is a small step.
TEST(Pictures, OverlaysAreInkOnBlackAndTheStrobingOnesSoft) {
    for (const char* name : {"iwish.png", "skater.png", "bitch.png", "cre.png"}) {
        const qor::Picture p = Decode(name);
        const bool credits = std::string(name) == "cre.png";
        size_t bright = 0, inked = 0, black = 0, red = 0;
        std::vector<double> luma;
        for (uint32_t c : p.argb) {
            bright += MaxRgb(c) > 200 ? 1 : 0;
            inked += MaxRgb(c) > 60 ? 1 : 0;
            black += MaxRgb(c) < 12 ? 1 : 0;
            red += R(c) >= 64 && R(c) * 5 >= (R(c) + G(c) + B(c)) * 4 ? 1 : 0;
            luma.push_back(0.2126 * R(c) + 0.7152 * G(c) + 0.0722 * B(c));
        }
        const double n = double(p.argb.size());
        EXPECT_GT(black / n, 0.3) << name;
        EXPECT_GT(inked / n, 0.01) << name;
        for (int corner = 0; corner < 4; ++corner) {
            const int x = corner & 1 ? p.width - 1 : 0, y = corner & 2 ? p.height - 1 : 0;
            EXPECT_LT(MaxRgb(p.argb[size_t(y) * p.width + x]), 12) << name << " corner " << corner;
        }
        if (credits) {
            EXPECT_GT(bright / n, 0.03) << name;
            continue;
        }
        std::sort(luma.begin(), luma.end());
        EXPECT_LT(luma[luma.size() * 999 / 1000], 170.0) << name << ": ink too bright to strobe gently";
        EXPECT_LT(red / n, 0.001) << name << ": saturated red";
    }
}

// The trio's hall fills three viewports turning up to a radian a second:
// its surfaces are soft (small steps between neighbouring texels), never
// saturated red, and lit well enough to fill the screen.
TEST(Pictures, TrioHallIsSoftAndNotRed) {
    for (const char* name : {"02.jpg", "04.jpg", "05.jpg"}) {
        const qor::Picture p = Decode(name);
        double step = 0, luma = 0;
        size_t red = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const uint32_t c = p.argb[size_t(y) * p.width + x], r = p.argb[size_t(y) * p.width + (x + 1) % p.width];
                step += (std::abs(R(c) - R(r)) + std::abs(G(c) - G(r)) + std::abs(B(c) - B(r))) / 3.0;
                luma += 0.2126 * R(c) + 0.7152 * G(c) + 0.0722 * B(c);
                red += R(c) >= 64 && R(c) * 5 >= (R(c) + G(c) + B(c)) * 4 ? 1 : 0;
            }
        const double n = double(p.argb.size());
        EXPECT_LT(step / n, 4.0) << name << ": fine detail flickers as the views turn";
        EXPECT_LT(red / n, 0.01) << name;
        EXPECT_GT(luma / n, 40.0) << name;
    }
}

TEST(Font, GlyphsSitInTheirCellsAsWhiteThroughAlpha) {
    const qor::Picture p = Decode("smfont.png");
    ASSERT_EQ(p.width, 160);
    ASSERT_EQ(p.height, 192);
    auto ink = [&](int code) {
        int sum = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 10; ++x) sum += A(p.argb[size_t((code / 16) * 12 + y) * 160 + (code % 16) * 10 + x]);
        return sum;
    };
    for (uint32_t c : p.argb)
        if (A(c) > 0) {
            ASSERT_EQ(c & 0xFFFFFF, 0xFFFFFFu) << "ink must be white; colour comes from the text";
        }
    for (int code = 33; code < 127; ++code) EXPECT_GT(ink(code), 255 * 2) << "glyph " << code;
    EXPECT_EQ(ink(' '), 0);
    for (int code = 0; code < 32; ++code) EXPECT_EQ(ink(code), 0) << "control " << code;
    // Distinct letters look distinct.
    EXPECT_NE(ink('O'), ink('I'));
}

TEST(Font, DashIsABoldBarForTheProgressRow) {
    const qor::Picture p = Decode("smfont.png");
    const int ox = ('-' % 16) * 10, oy = ('-' / 16) * 12;
    int fullRows = 0;
    for (int y = 0; y < 12; ++y) {
        int full = 0;
        for (int x = 0; x < 10; ++x) full += A(p.argb[size_t(oy + y) * 160 + ox + x]) == 255 ? 1 : 0;
        if (full >= 8) ++fullRows;
    }
    EXPECT_GE(fullRows, 3) << "at least three solid rows, 8 of 10 pixels wide";
    // Nothing but the bar: the row reads as one band.
    int stray = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 10; ++x)
            if (y < 4 || y > 8) stray += A(p.argb[size_t(oy + y) * 160 + ox + x]);
    EXPECT_EQ(stray, 0);
}
