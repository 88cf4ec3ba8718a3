// Data files that are not plain files, or not the size they claim: the
// whole-file reader refuses them at once, and each loader turns the refusal
// into one line and its placeholder. A hang is the fault these tests look for,
// so each case runs under an alarm that fails the test process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "assets/datadir.h"
#include "assets/file.h"
#include "assets/images.h"
#include "assets/meshes.h"
#include "assets/output.h"
#include "audio/music.h"
#include "engine/qor.h"
#include "render/render.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
    fs::path dir = fs::path(testing::TempDir()) / ("teq_file_" + std::to_string(::getpid()));
    Scratch() {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Scratch() { fs::remove_all(dir); }
    std::string operator/(const char* name) const { return (dir / name).string(); }
};

struct Alarm {
    explicit Alarm(unsigned seconds) { ::alarm(seconds); }
    ~Alarm() { ::alarm(0); }
};

int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

TEST(ReadWholeFile, RefusesEverythingButRegularFilesWithoutBlocking) {
    Alarm alarm(20);
    Scratch s;
    ASSERT_EQ(::mkfifo((s / "fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {s / "fifo", "FIFO"},
        {s.dir.string(), "folder"},
        {"/dev/zero", "character device"},
        {"/dev/null", "character device"},
        {s / "missing", "cannot open"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes{1, 2, 3};
        std::string error;
        EXPECT_FALSE(qor::ReadWholeFile(c.path, 1 << 20, bytes, error)) << c.path;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.path << ": " << error;
        EXPECT_TRUE(bytes.empty()) << c.path;
    }
    // A FIFO with a writer and data waiting in it is still no data file.
    const int fifo = ::open((s / "fifo").c_str(), O_RDWR);
    ASSERT_GE(fifo, 0);
    ASSERT_EQ(::write(fifo, "data", 4), 4);
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(qor::ReadWholeFile(s / "fifo", 1 << 20, bytes, error));
    EXPECT_NE(error.find("FIFO"), std::string::npos) << error;
    ::close(fifo);
}

// A file is written under a name of this run's own, created new: a symlink
// or file planted at that name or at the old shared one is never written
// through, and a target that is no file is refused before anything is written.
TEST(WriteWholeFile, NeverWritesThroughWhatIsThereAlready) {
    Scratch s;
    const std::string target = s / "target";
    { std::ofstream(target) << "keep"; }
    ASSERT_EQ(::symlink(target.c_str(), (s / "out.png.part").c_str()), 0);
    std::string error;
    ASSERT_TRUE(qor::WriteWholeFile(s / "out.png", "new", 3, error)) << error;
    std::ifstream back(target);
    std::string text;
    back >> text;
    EXPECT_EQ(text, "keep");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(s / "out.png")));
    EXPECT_EQ(fs::file_size(s / "out.png"), 3u);

    const std::string part = qor::PartName(s / "next.png");
    EXPECT_NE(part, s / "next.png.part");
    EXPECT_EQ(part, qor::PartName(s / "next.png"));   // one tag for the whole run
    ASSERT_EQ(::symlink(target.c_str(), part.c_str()), 0);
    EXPECT_FALSE(qor::WriteWholeFile(s / "next.png", "new", 3, error));
    EXPECT_NE(error.find("File exists"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(part));   // not ours: left there

    fs::create_directory(s / "dir.png");
    ASSERT_EQ(::mkfifo((s / "fifo.png").c_str(), 0600), 0);
    EXPECT_FALSE(qor::WriteWholeFile(s / "dir.png", "x", 1, error));
    EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
    EXPECT_FALSE(qor::WriteWholeFile(s / "fifo.png", "x", 1, error));
    EXPECT_NE(error.find("is a FIFO"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_fifo(s / "fifo.png"));
    EXPECT_FALSE(fs::exists(qor::PartName(s / "dir.png")));
}

TEST(Printable, ControlCharactersAndLongPathsStayOnOneLine) {
    EXPECT_EQ(qor::Printable("a\nb\tc\x01"
                             "d\x7f"),
              "a\\nb\\tc\\x01d\\x7F");
    EXPECT_EQ(qor::Printable("plain/path é"), "plain/path é");
    const std::string longer = std::string(1000, 'a') + "\n" + std::string(1000, 'b');
    const std::string shown = qor::Printable(longer);
    EXPECT_LT(shown.size(), 400u);
    EXPECT_EQ(shown.find('\n'), std::string::npos);
    EXPECT_NE(shown.find("a...b"), std::string::npos) << shown;
}

TEST(ReadWholeFile, ReadsUpToTheLimitAndNoFurther) {
    Alarm alarm(20);
    Scratch s;
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 251);
    std::ofstream(s / "f", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(qor::ReadWholeFile(s / "f", data.size(), bytes, error)) << error;
    EXPECT_EQ(bytes, data);
    EXPECT_FALSE(qor::ReadWholeFile(s / "f", data.size() - 1, bytes, error));
    EXPECT_NE(error.find("larger than 99999 bytes"), std::string::npos) << error;
    std::ofstream(s / "empty");
    ASSERT_TRUE(qor::ReadWholeFile(s / "empty", 10, bytes, error)) << error;
    EXPECT_TRUE(bytes.empty());

    // Files whose size says 0 but that hold more (as /proc's do) are read to
    // their end, and still only up to the limit.
    ASSERT_TRUE(qor::ReadWholeFile("/proc/self/status", 1 << 20, bytes, error)) << error;
    EXPECT_GT(bytes.size(), 100u);
    EXPECT_FALSE(qor::ReadWholeFile("/proc/self/status", 64, bytes, error));
    EXPECT_NE(error.find("larger than 64 bytes"), std::string::npos) << error;
}

TEST(ReadWholeFile, AFileThatKeepsGrowingEndsAtTheLimit) {
    Alarm alarm(60);
    Scratch s;
    const std::string path = s / "growing";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const std::vector<char> chunk(1 << 16, 'x');
    std::fwrite(chunk.data(), 1, chunk.size(), out);
    std::fflush(out);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        // Stays ahead of the reader: at most 256 MiB, far past the limit.
        for (int i = 0; i < 4096 && !stop; ++i) {
            std::fwrite(chunk.data(), 1, chunk.size(), out);
            std::fflush(out);
        }
    });
    constexpr size_t kLimit = 8 << 20;
    std::vector<uint8_t> bytes;
    std::string error;
    const bool ok = qor::ReadWholeFile(path, kLimit, bytes, error);
    stop = true;
    writer.join();
    std::fclose(out);
    // Either it caught the file between two writes, or it stopped at the limit.
    if (ok)
        EXPECT_LE(bytes.size(), kLimit);
    else
        EXPECT_NE(error.find("larger than 8 MiB"), std::string::npos) << error;
}

// Each loader: one line naming the file, its placeholder, and no wait.
TEST(DataFiles, SpecialFilesGiveOneLineAndAPlaceholder) {
    Alarm alarm(30);
    Scratch s;
    ASSERT_EQ(::mkfifo((s / "pipe.png").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((s / "pipe.a3f").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((s / "pipe.xm").c_str(), 0600), 0);
    fs::create_directory(s.dir / "folder.jpg");
    qor::SetDataDir(s.dir.string());
    qor::render::Init(8, 8);

    for (const char* picture : {"pipe.png", "folder.jpg"}) {
        testing::internal::CaptureStderr();
        LoadTexture(picture, 1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Lines(err), 1) << err;
        EXPECT_NE(err.find(std::string("teq: picture ") + (s / picture) + ": is a "), std::string::npos) << err;
    }

    testing::internal::CaptureStderr();
    const MeshHandle mesh = qor::LoadMeshCopy("pipe.a3f");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(mesh.objectCount, 0u);
    EXPECT_EQ(Lines(err), 1) << err;
    EXPECT_NE(err.find("pipe.a3f: is a FIFO"), std::string::npos) << err;

    for (const std::string& module : {s / "pipe.xm", std::string("/dev/zero"), s.dir.string()}) {
        qor::audio::Music music(135.0);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(music.Load(module));
        err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Lines(err), 1) << err;
        EXPECT_NE(err.find("teq: music " + module + ": is a "), std::string::npos) << err;
        EXPECT_DOUBLE_EQ(music.Duration(), 135.0);
    }
}

// Pictures share one memory budget: the load that would pass it keeps the
// placeholder and says so, the ones before it are kept.
TEST(DataFiles, PicturesPastTheMemoryBudgetKeepThePlaceholder) {
    Scratch s;
    std::vector<uint32_t> pixels(64 * 64, 0xFFFFFFFFu);
    std::string error;
    for (const char* name : {"a.png", "b.png", "c.png"})
        ASSERT_TRUE(qor::WritePng(s / name, pixels.data(), 64, 64, false, error)) << error;
    qor::SetDataDir(s.dir.string());
    qor::render::Init(8, 8);
    qor::render::SetPictureMemoryBudget(2 * 65 * 65 * 4 + 2 * 33 * 33);   // room for two
    testing::internal::CaptureStderr();
    for (const char* name : {"a.png", "b.png", "c.png"}) LoadTexture(name, 0);
    // Refused on its header's size, before decoding: a picture whose pixel
    // data is broken gets the budget's reason, not the decoder's.
    std::vector<uint8_t> png;
    ASSERT_TRUE(qor::EncodePng(pixels.data(), 64, 64, false, png, error)) << error;
    png.resize(60);   // signature, header and the start of the pixel data
    {
        std::ofstream broken(s / "d.png", std::ios::binary);
        broken.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    }
    LoadTexture("d.png", 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("teq: picture " + (s / "d.png") + ": not loaded, picture memory budget"), std::string::npos)
        << err;
    qor::render::SetPictureMemoryBudget(qor::render::kPictureMemoryBudget);
    EXPECT_EQ(Lines(err), 2) << err;
    EXPECT_NE(err.find("teq: picture " + (s / "c.png") + ": not loaded, picture memory budget"), std::string::npos)
        << err;
    // a.png draws white, c.png the grey placeholder.
    for (const char* name : {"a.png", "c.png"}) {
        teqtest::Fresh(teqtest::Raster{false, 1}, 8, 8);
        SetTexture(name);
        teqtest::Rect(0, 0, 8, 8, 0x00FFFFFFu);
        EndScene();
        EXPECT_EQ(teqtest::Pixel(4, 4), std::string(name) == "a.png" ? 0xFFFFFFu : 0x808080u) << name;
    }
}

}   // namespace
