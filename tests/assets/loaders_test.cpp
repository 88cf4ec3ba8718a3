// Picture loading: good PNG and JPEG files decode to the right pixels; bad,
// truncated and oversized ones are refused with a reason; the engine reports a
// missing picture once and draws with the grey placeholder.
#include <turbojpeg.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "assets/datadir.h"
#include "assets/images.h"
#include "support.h"

namespace teqtest {
namespace {

std::vector<uint8_t> Read(const std::string& relative) {
    std::ifstream in(std::string(TEQ_CORPUS_DIR) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PngLoader, DecodesEveryPixelAsArgb) {
    // The file holds RGBA (60x, 80y, 200, 255 - 40x) at column x, row y.
    for (const char* file : {"png/good-4x3-rgba.png", "png/good-4x3-rgb.png"}) {
        const std::vector<uint8_t> bytes = Read(file);
        qor::Picture p;
        std::string error;
        ASSERT_TRUE(qor::DecodePicture(bytes.data(), bytes.size(), p, error)) << error;
        ASSERT_EQ(p.width, 4);
        ASSERT_EQ(p.height, 3);
        const bool alpha = std::string(file).find("rgba") != std::string::npos;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const uint32_t a = alpha ? uint32_t(255 - 40 * x) : 255u;
                EXPECT_EQ(p.argb[y * 4 + x], a << 24 | uint32_t(60 * x) << 16 | uint32_t(80 * y) << 8 | 200u)
                    << file << " " << x << "," << y;
            }
    }
}

TEST(PngLoader, RefusesBrokenAndOversizedFilesWithAReason) {
    for (const char* file :
         {"png/truncated.png", "png/bad-crc.png", "png/oversized-header.png", "png/zero-width.png"}) {
        const std::vector<uint8_t> bytes = Read(file);
        qor::Picture p;
        std::string error;
        EXPECT_FALSE(qor::DecodePicture(bytes.data(), bytes.size(), p, error)) << file;
        EXPECT_FALSE(error.empty()) << file;
    }
}

TEST(PngLoader, WriterAndReaderAgree) {
    // Asymmetric, with alpha: a flip or a channel swap cannot pass.
    std::vector<uint32_t> picture(7 * 5);
    for (int i = 0; i < 35; ++i)
        picture[i] = uint32_t(i * 7) << 24 | uint32_t(i * 3) << 16 | uint32_t(255 - i) << 8 | uint32_t(i);
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(qor::EncodePng(picture.data(), 7, 5, true, png, error)) << error;
    qor::Picture back;
    ASSERT_TRUE(qor::DecodePng(png.data(), png.size(), back, error)) << error;
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 5);
    EXPECT_EQ(back.argb, picture);
}

// A 16x8 picture of two flat halves compressed here, so the expected colours
// are known: red on the left, blue on the right.
TEST(JpegLoader, DecodesToTheColoursItWasMadeOf) {
    std::vector<uint8_t> rgb(16 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = &rgb[(y * 16 + x) * 3];
            p[0] = x < 8 ? 220 : 20, p[1] = 30, p[2] = x < 8 ? 40 : 230;
        }
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(tj, rgb.data(), 16, 16 * 3, 8, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0), 0);
    qor::Picture p;
    std::string error;
    const bool ok = qor::DecodePicture(jpeg, size, p, error);
    tjFree(jpeg);
    tjDestroy(tj);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(p.width, 16);
    ASSERT_EQ(p.height, 8);
    auto near = [](uint32_t c, int r, int g, int b) {
        return c >> 24 == 255 && std::abs(int(c >> 16 & 255) - r) < 12 && std::abs(int(c >> 8 & 255) - g) < 12 &&
               std::abs(int(c & 255) - b) < 12;
    };
    EXPECT_TRUE(near(p.argb[3 * 16 + 2], 220, 30, 40)) << std::hex << p.argb[3 * 16 + 2];
    EXPECT_TRUE(near(p.argb[3 * 16 + 13], 20, 30, 230)) << std::hex << p.argb[3 * 16 + 13];
}

// CMYK as Adobe's programs write it (inverted, 255 for no ink, with an APP14
// "Adobe" marker, which TurboJPEG's compressor writes): ink for red on the
// left, blue on the right, and the same file without its marker, whose
// values then count as plain ink.
TEST(JpegLoader, DecodesCmykAdobeInvertedAndPlain) {
    std::vector<uint8_t> cmyk(16 * 8 * 4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = &cmyk[(y * 16 + x) * 4];
            // ink: red = M + Y, blue = C + M; a little black on both
            const int c = x < 8 ? 0 : 255, m = 255, ye = x < 8 ? 255 : 0, k = 40;
            p[0] = uint8_t(255 - c), p[1] = uint8_t(255 - m), p[2] = uint8_t(255 - ye), p[3] = uint8_t(255 - k);
        }
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(tj, cmyk.data(), 16, 16 * 4, 8, TJPF_CMYK, &jpeg, &size, TJSAMP_444, 98, 0), 0);
    std::vector<uint8_t> adobe(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    qor::Picture p;
    std::string error;
    ASSERT_TRUE(qor::DecodePicture(adobe.data(), adobe.size(), p, error)) << error;
    ASSERT_EQ(p.width, 16);
    ASSERT_EQ(p.height, 8);
    auto near = [](uint32_t c, int r, int g, int b) {
        return c >> 24 == 255 && std::abs(int(c >> 16 & 255) - r) < 10 && std::abs(int(c >> 8 & 255) - g) < 10 &&
               std::abs(int(c & 255) - b) < 10;
    };
    const int lit = 215;   // 255 * (255 - 40) / 255
    EXPECT_TRUE(near(p.argb[3 * 16 + 2], lit, 0, 0)) << std::hex << p.argb[3 * 16 + 2];
    EXPECT_TRUE(near(p.argb[3 * 16 + 13], 0, 0, lit)) << std::hex << p.argb[3 * 16 + 13];

    // Without the marker: the decoder's CMYK values taken as ink.
    size_t at = 2;
    while (at + 4 < adobe.size() && !(adobe[at] == 0xFF && adobe[at + 1] == 0xEE))
        at += 2 + (size_t(adobe[at + 2]) << 8 | adobe[at + 3]);
    ASSERT_LT(at + 4, adobe.size()) << "no APP14 marker written";
    std::vector<uint8_t> plain(adobe.begin(), adobe.begin() + long(at));
    plain.insert(plain.end(), adobe.begin() + long(at + 2 + (size_t(adobe[at + 2]) << 8 | adobe[at + 3])), adobe.end());
    tjhandle d = tjInitDecompress();
    std::vector<uint8_t> raw(16 * 8 * 4);
    ASSERT_EQ(tjDecompress2(d, plain.data(), plain.size(), raw.data(), 16, 64, 8, TJPF_CMYK, 0), 0);
    tjDestroy(d);
    ASSERT_TRUE(qor::DecodePicture(plain.data(), plain.size(), p, error)) << error;
    for (int i : {3 * 16 + 2, 3 * 16 + 13}) {
        const uint8_t* q = &raw[size_t(i) * 4];
        const auto light = [&](int v) { return ((255 - v) * (255 - q[3]) + 127) / 255; };
        EXPECT_TRUE(near(p.argb[size_t(i)], light(q[0]), light(q[1]), light(q[2]))) << std::hex << p.argb[size_t(i)];
    }
}

// Sampling factors TurboJPEG has no name for (luma 4x2), as Debian's cjpeg
// writes them: a grey ramp, which subsampled chroma cannot change.
TEST(JpegLoader, DecodesUnusualSampling) {
    if (std::system("cjpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjpeg not installed (libjpeg-turbo-progs)";
    const std::string dir = testing::TempDir();
    {
        std::ofstream ppm(dir + "/ramp.ppm", std::ios::binary);
        ppm << "P6\n37 21\n255\n";
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x)
                for (int c = 0; c < 3; ++c) ppm.put(char(x * 6 + y));
    }
    ASSERT_EQ(std::system(("cjpeg -quality 100 -sample 4x2 " + dir + "/ramp.ppm > " + dir + "/ramp.jpg").c_str()), 0);
    qor::Picture p;
    std::string error;
    ASSERT_TRUE(qor::LoadPicture(dir + "/ramp.jpg", p, error)) << error;
    ASSERT_EQ(p.width, 37);
    ASSERT_EQ(p.height, 21);
    for (int y : {0, 10, 20})
        for (int x : {0, 18, 36}) {
            const uint32_t c = p.argb[size_t(y) * 37 + x];
            EXPECT_NEAR(int(c >> 8 & 255), x * 6 + y, 6) << x << "," << y;
            EXPECT_NEAR(int(c >> 16 & 255), int(c & 255), 4) << x << "," << y;
        }
}

TEST(JpegLoader, RefusesTruncatedOversizedAndFakeFiles) {
    const std::vector<uint8_t> good = Read("jpeg/good-16x8.jpg");
    qor::Picture p;
    std::string error;
    ASSERT_TRUE(qor::DecodePicture(good.data(), good.size(), p, error)) << error;
    EXPECT_EQ(p.width, 16);
    for (const char* file : {"jpeg/truncated.jpg", "jpeg/oversized-header.jpg", "jpeg/not-a-jpeg.jpg"}) {
        const std::vector<uint8_t> bytes = Read(file);
        error.clear();
        EXPECT_FALSE(qor::DecodePicture(bytes.data(), bytes.size(), p, error)) << file;
        EXPECT_FALSE(error.empty()) << file;
    }
    const std::vector<uint8_t> big = Read("jpeg/oversized-header.jpg");
    qor::DecodePicture(big.data(), big.size(), p, error);
    EXPECT_NE(error.find("4096"), std::string::npos) << error;
    // Start and end markers and nothing between: no picture, said so.
    const uint8_t markers[] = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(qor::DecodePicture(markers, sizeof markers, p, error));
    EXPECT_NE(error.find("no frame header"), std::string::npos) << error;
}

TEST(PictureLoader, RefusesFilesThatAreNoPicture) {
    qor::Picture p;
    std::string error;
    EXPECT_FALSE(qor::LoadPicture("/nonexistent/picture.png", p, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    const uint8_t text[] = "hello, not a picture";
    EXPECT_FALSE(qor::DecodePicture(text, sizeof text, p, error));
    EXPECT_FALSE(qor::DecodePicture(text, 0, p, error));
}

// The size check before decoding: it sees the header's size (a picture too
// big for the budget costs no decoding), and its refusal is the reason given.
TEST(PictureLoader, HeaderSizeIsCheckedBeforeDecoding) {
    const std::string dir = std::filesystem::temp_directory_path().string();
    struct Case {
        const char* file;
        int width, height;
    };
    for (const Case c : {Case{"png/good-4x3-rgba.png", 4, 3}, Case{"jpeg/good-16x8.jpg", 16, 8},
                         Case{"png/bad-crc.png", 0, 0}, Case{"jpeg/truncated.jpg", 0, 0}}) {
        const std::vector<uint8_t> bytes = Read(c.file);
        int w = -1, h = -1;
        std::string error;
        const bool read = qor::PictureSize(bytes.data(), bytes.size(), w, h, error);
        if (c.width > 0) {
            ASSERT_TRUE(read) << c.file << ": " << error;
            EXPECT_EQ(w, c.width) << c.file;
            EXPECT_EQ(h, c.height) << c.file;
        }
        // Refused on its size: the check's reason, no pixels, whatever the data after the header.
        const std::string path = dir + "/teq-size-check-" + std::filesystem::path(c.file).filename().string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        qor::Picture p;
        int seen = 0;
        error.clear();
        const bool loaded = qor::LoadPicture(path, p, error, [&](int width, int height, std::string& why) {
            seen = width * 1000 + height;
            why = "too big for the budget";
            return false;
        });
        EXPECT_FALSE(loaded) << c.file;
        EXPECT_TRUE(p.argb.empty()) << c.file;
        if (c.width > 0) {
            EXPECT_EQ(seen, c.width * 1000 + c.height) << c.file;
            EXPECT_EQ(error, "too big for the budget") << c.file;
        }
        // Accepted: decoded as without the check.
        const bool decoded = qor::LoadPicture(path, p, error, [](int, int, std::string&) { return true; });
        EXPECT_EQ(decoded, c.width > 0 && std::string(c.file).find("truncated") == std::string::npos) << c.file;
        std::filesystem::remove(path);
    }
    // A header claiming 65535 a side is measured, not decoded, and the size is the header's.
    const std::vector<uint8_t> huge = Read("jpeg/oversized-header.jpg");
    int w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(qor::PictureSize(huge.data(), huge.size(), w, h, error)) << error;
    EXPECT_GT(std::max(w, h), 4096);
}

TEST(LoadTexture, MissingFileIsReportedOnceAndDrawsGrey) {
    Fresh(Raster{true, 2}, 8, 8);
    qor::SetDataDir(std::filesystem::temp_directory_path().string());
    testing::internal::CaptureStderr();
    LoadTexture("no-such-picture.png", 1);
    LoadTexture("no-such-picture.png", 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("no-such-picture.png"), std::string::npos) << err;
    SetTexture("no-such-picture.png");
    Rect(0, 0, 8, 8, 0x00FFFFFFu);
    EndScene();
    EXPECT_EQ(Pixel(4, 4), 0x808080u);
}

}   // namespace
}   // namespace teqtest
