// Font picture "smfont.png": 256 glyphs in 16 rows of 16 cells of 10 x 12
// pixels, character-code order (Latin-1), white with the glyph in alpha.
// Rendered from DejaVu Sans Mono Bold; "-" is drawn as a solid bar because
// the loading screen's progress row is made of them.
#include "generators.h"
#include "raster.h"

namespace mkdata {

namespace {

constexpr int kCellW = 10, kCellH = 12;
constexpr int kBaseline = 9;   // pixel row of the baseline within a cell
constexpr float kPixelHeight = 12.5f;

}   // namespace

std::vector<uint8_t> GenSmallFont() {
    const Font font(FontPath("DejaVuSansMono-Bold.ttf"));
    Canvas c(16 * kCellW, 16 * kCellH);
    for (Rgb& p : c.rgb) p = {1, 1, 1};
    for (float& a : c.alpha) a = 0;

    for (int code = 0; code < 256; ++code) {
        const bool printable = (code >= 32 && code < 127) || code >= 160;
        if (!printable) continue;
        Mask glyph(kCellW, kCellH);
        if (code == '-') {
            for (int y = 5; y <= 7; ++y)
                for (int x = 1; x <= 8; ++x) glyph.At(x, y) = 1.f;
        } else if (!font.Glyph(code, kPixelHeight, kCellW, kCellH, kBaseline, glyph)) {
            continue;
        }
        const int ox = (code % 16) * kCellW, oy = (code / 16) * kCellH;
        for (int y = 0; y < kCellH; ++y)
            for (int x = 0; x < kCellW; ++x) c.A(ox + x, oy + y) = Clamp01(glyph.At(x, y));
    }
    return EncodePng(c, 4);
}

}   // namespace mkdata
