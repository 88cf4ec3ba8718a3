// The portable rasterizer, plain C++: the reference for the AVX2 one, with
// identical pixels. Each row's run of covered pixels from the three integer
// edge functions; a pixel loop per combination of states, chosen once per
// triangle; colour channels four at a time in 16-bit fields of a 64-bit word.
#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>
#include <utility>

#include "render/raster_setup.h"

namespace qor::render {

namespace {

// >> channels in 16-bit fields

// A colour as a 64-bit word with one channel in the low byte of each 16-bit
// field: blue at bit 0, red at 16, green at 32, alpha at 48. Products of two
// channels (plus rounding) stay below 65536, so fields never carry into each
// other.
inline constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
inline constexpr uint64_t kHalves = 0x0080008000800080ull;   // 128 in each field

inline uint64_t Wide(uint32_t c) { return (c & 0x00FF00FFu) | uint64_t(c & 0xFF00FF00u) << 24; }

// Back from Wide; every field must be 0..255, so that the shifted copy adds
// only green and alpha, into bytes that are zero.
inline uint32_t Narrow(uint64_t w) { return uint32_t(w | w >> 24); }

// Lerp8 on every field: a + (b - a) * w / 256 rounded as Lerp8 does, which
// is (a * 256 + (b - a) * w + 128) >> 8. Per field that sum lies in 0 ..
// 255 * 256 + 128, and the word is the sum of the fields' sums, so the
// borrows of negative differences cancel out.
inline uint64_t LerpWide(uint64_t a, uint64_t b, uint32_t w) {
    return ((a << 8) + (b - a) * w + kHalves) >> 8 & kLowBytes;
}

// MulDiv255 on every field of x, which holds a product a * b of two channels
// per field: with y = a * b + 128, (y + (y >> 8)) >> 8, at most 65407.
inline uint64_t DivWide255(uint64_t x) {
    x += kHalves;
    return (x + (x >> 8 & kLowBytes)) >> 8 & kLowBytes;
}

// MulDiv255 of the blue, red and green fields of t by b, r and g (alpha
// comes out 0).
inline uint64_t ModulateWide(uint64_t t, uint32_t b, uint32_t r, uint32_t g) {
    return DivWide255(uint64_t(uint32_t(t) & 0xFF) * b | uint64_t((uint32_t(t) >> 16 & 0xFF) * r) << 16 |
                      uint64_t((uint32_t(t >> 32) & 0xFF) * g) << 32);
}

// Saturating add of every field (each 0..255): a sum over 255 sets bit 8 of
// its field, which becomes 0xFF.
inline uint64_t AddSatWide(uint64_t a, uint64_t b) {
    const uint64_t sum = a + b;
    const uint64_t over = sum & 0x0100010001000100ull;
    return (sum | (over - (over >> 8))) & kLowBytes;
}

// >> textures

// RoundToInt with one comparison: -2^31 itself rounds to INT_MIN too.
inline int RoundToIntFast(float f) { return std::fabs(f) < 2147483648.0f ? int(std::lrintf(f)) : INT32_MIN; }

// What the pixel loop reads of a texture, copied so that it stays in
// registers: the compiler cannot know that writing pixels leaves it alone.
struct Picture {
    const uint32_t* texels;
    const uint8_t* blocks;
    int width, height, stride, blockStride;
    float widthF, heightF, uScale, vScale;   // sides, and sides times 256
};

inline Picture PictureOf(const Texture& tx) {
    return Picture{tx.texels.data(),
                   tx.blocks.data(),
                   tx.width,
                   tx.height,
                   tx.stride,
                   tx.blockStride,
                   float(tx.width),
                   float(tx.height),
                   float(tx.width * 256),
                   float(tx.height * 256)};
}

// Where a pixel's texels are: the texel (x, y) for nearest filtering, the
// footprint from (x, y) to (x + 1, y + 1) weighted by wx, wy (0..255) for
// bilinear filtering.
struct Taps {
    int x, y;
    uint32_t wx, wy;
};

// Repeat addressing; u, v as interpolated. Pictures whose sides are powers of
// two are addressed in 24.8 fixed point (position times 256, rounded), wrapped
// by masks; others through the fraction of u and v.
template <bool kBilinearTaps, bool kPow2>
inline Taps Address(const Picture& tx, float u, float v) {
    Taps t{};
    if (kPow2) {
        const uint32_t fu = uint32_t(RoundToIntFast(u * tx.uScale));
        const uint32_t fv = uint32_t(RoundToIntFast(v * tx.vScale));
        if (!kBilinearTaps) {
            t.x = (int32_t(fu) >> 8) & (tx.width - 1);
            t.y = (int32_t(fv) >> 8) & (tx.height - 1);
            return t;
        }
        const uint32_t gu = fu - 128u, gv = fv - 128u;
        t.x = (int32_t(gu) >> 8) & (tx.width - 1);
        t.y = (int32_t(gv) >> 8) & (tx.height - 1);
        t.wx = gu & 255u;
        t.wy = gv & 255u;
        return t;
    }
    const float uf = u - std::floor(u);
    const float vf = v - std::floor(v);
    if (!kBilinearTaps) {
        // NaN converts to INT_MIN; column `width` repeats column 0.
        t.x = std::clamp(TruncToInt(uf * tx.widthF), 0, tx.width);
        t.y = std::clamp(TruncToInt(vf * tx.heightF), 0, tx.height);
        return t;
    }
    const float fx = uf * tx.widthF - 0.5f;
    const float fy = vf * tx.heightF - 0.5f;
    const float flx = std::floor(fx), fly = std::floor(fy);
    int x = TruncToInt(flx), y = TruncToInt(fly);
    t.wx = uint32_t(std::clamp(TruncToInt((fx - flx) * 256.0f), 0, 255));
    t.wy = uint32_t(std::clamp(TruncToInt((fy - fly) * 256.0f), 0, 255));
    if (x < 0) x += tx.width;
    if (y < 0) y += tx.height;
    t.x = std::clamp(x, 0, tx.width - 1);
    t.y = std::clamp(y, 0, tx.height - 1);
    return t;
}

// >> coverage

// The columns first..last (relative to s.x0) of row s.y0 + j that all three
// edges cover; last < first when none. Exactly the pixels where every edge
// value is >= 0: where each edge crosses zero is estimated in floating point
// (-e / stepX, from crossX), then moved column by column to where the integer
// edge value changes sign, within the columns still open.
__attribute__((always_inline)) inline void RowSpan(const Tri& tri, const BandSetup& s, int j, int& first, int& last) {
    int lo = 0, hi = s.x1 - s.x0;
    for (int k = 0; k < 3 && lo <= hi; ++k) {
        const int32_t ev = s.e[k] + tri.stepY[k] * j;
        const int32_t sx = tri.stepX[k];
        if (sx == 0) {   // a horizontal edge: the whole row or none of it
            if (ev < 0) hi = lo - 1;
            continue;
        }
        auto in = [ev, sx](int i) { return int64_t(ev) + int64_t(sx) * i >= 0; };
        const float q = float(ev) * tri.crossX[k];
        if (sx > 0) {   // inside from the crossing on: the first column inside
            int c = int(std::clamp(q, float(lo), float(hi + 1)));
            while (c > lo && in(c - 1)) --c;
            while (c <= hi && !in(c)) ++c;
            lo = c;
        } else {   // inside up to the crossing: the last column inside
            int c = int(std::clamp(q, float(lo - 1), float(hi)));
            while (c < hi && in(c + 1)) ++c;
            while (c >= lo && !in(c)) --c;
            hi = c;
        }
    }
    first = lo;
    last = hi;
}

// >> pixels

// Rows s.j0 .. s.j1 of one strip, for one combination of states. Without
// the depth test, pixels are shaded four at a time along a row: four
// independent chains of arithmetic written side by side keep the processor
// busy where one pixel's chain alone would leave it waiting. The rest go one
// at a time, which lets each pixel stop early (depth test failed, nothing to
// add); four at a time, a pixel with nothing to add is worked out in full,
// which gives the same bytes.
template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
class BandPixels {
    // The attributes this variant reads (SetupBand leaves the others unset).
    static constexpr uint32_t kUsed = UsedAttributes(kDepthTest, kPersp, kFlat);
    // Only the alpha byte of a pixel with nothing to add changes.
    static constexpr uint32_t kSkipTexel = kAlpha ? 0xFF000000u : 0x00FFFFFFu;
    static constexpr uint8_t kSkipBlockBit = kAlpha ? 1 : 2;

public:
    __attribute__((always_inline))
    BandPixels(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s)
        : tri_(tri), target_(target), s_(s), tx_(PictureOf(*state.texture)), stride_(size_t(tx_.stride)) {
        // An additive draw adds nothing where the texels are black (or,
        // through the alpha channel, transparent); for pictures with many
        // such texels, the block map tells so before the four taps of a
        // footprint are read.
        skipBlocks_ = kBlendAdd && kBilinearTaps && (state.texture->sparse & (kAlpha ? 1 : 2));
        flatB_ = tri.flatColor & 0xFF, flatG_ = tri.flatColor >> 8 & 0xFF, flatR_ = tri.flatColor >> 16 & 0xFF;
        // A flat grey modulates all channels by one factor; white leaves them as they are.
        flatGrey_ = kFlat && flatB_ == flatG_ && flatB_ == flatR_;
        flatWhite_ = flatGrey_ && flatB_ == 255;
        for (int k = 0; k < kAttrCount; ++k) ddx_[k] = tri.ddx[k];
    }

    // Each row's run of covered pixels, four at a time where allowed, then one by one.
    __attribute__((always_inline)) void DrawRows() {
        for (int j = s_.j0; j <= s_.j1; ++j) {
            int first, last;
            RowSpan(tri_, s_, j, first, last);
            if (first > last) continue;
            const size_t y = size_t(s_.y0 + j);
            float row[kAttrCount] = {};
            for (int k = 0; k < kAttrCount; ++k)
                if (kUsed >> k & 1) row[k] = s_.base[k] + tri_.ddy[k] * float(j);
            uint32_t* const color = target_.color + y * target_.width + s_.x0;
            float* const zrow = target_.depth + y * target_.width + s_.x0;
            int i = first;
            float fi = float(first);
            if (!kDepthTest)
                for (; i + 3 <= last; i += 4, fi += 4.0f) Shade<4>(row, color, zrow, i, fi);
            for (; i <= last; ++i, fi += 1.0f) Shade<1>(row, color, zrow, i, fi);
        }
    }

private:
    // Shades kN pixels (four, or one) of a row from column i on; fi is i as
    // a float, row[] the attributes at column 0.
    template <int kN>
    __attribute__((always_inline)) void Shade(const float* row, uint32_t* color, float* zrow, int i, float fi) const {
        uint32_t* const out = color + i;
        // Attribute at column i + l: row value + step * (i + l), as the AVX2 loop has it.
        float f[kN];
        for (int l = 0; l < kN; ++l) f[l] = fi + float(l);   // exact: columns are far below 2^24
        auto attr = [&](int l, int k) { return row[k] + ddx_[k] * f[l]; };
        if constexpr (kDepthTest && kN == 1) {
            const float z = attr(0, kZ);
            if (!(z <= zrow[i])) return;
            zrow[i] = z;
        }
        float u[kN], v[kN], w[kN];
        for (int l = 0; l < kN; ++l) {
            u[l] = attr(l, kU);
            v[l] = attr(l, kV);
        }
        if (kPersp)
            for (int l = 0; l < kN; ++l) {
                w[l] = 1.0f / attr(l, kRhw);
                u[l] *= w[l], v[l] *= w[l];
            }
        // The vertex colour's channels.
        uint32_t vb[kN], vg[kN], vr[kN];
        if (!kFlat)
            for (int l = 0; l < kN; ++l) {
                float r = attr(l, kR), g = attr(l, kG), b = attr(l, kB);
                if (kPersp) r *= w[l], g *= w[l], b *= w[l];
                vr[l] = ToByte(r), vg[l] = ToByte(g), vb[l] = ToByte(b);
            }
        // The texels, alpha in their top fields.
        Taps at[kN];
        const uint32_t* p[kN];
        for (int l = 0; l < kN; ++l) {
            at[l] = Address<kBilinearTaps, kPow2>(tx_, u[l], v[l]);
            p[l] = tx_.texels + (size_t(at[l].y) * stride_ + size_t(at[l].x));
        }
        if constexpr (kN == 1 && kBlendAdd) {
            const bool nothing =
                kBilinearTaps
                    ? skipBlocks_ &&
                          !(tx_.blocks[size_t(at[0].y >> 1) * size_t(tx_.blockStride) + size_t(at[0].x >> 1)] &
                            kSkipBlockBit)
                    : !(p[0][0] & kSkipTexel);
            if (nothing) {
                out[0] |= 0xFF000000u;
                return;
            }
        }
        uint64_t t[kN];
        if (!kBilinearTaps) {
            for (int l = 0; l < kN; ++l) t[l] = Wide(p[l][0]);
        } else {
            // The picture's spare column and row repeat its first, so x + 1
            // and y + 1 need no wrapping.
            uint64_t top[kN], bottom[kN];
            for (int l = 0; l < kN; ++l) top[l] = LerpWide(Wide(p[l][0]), Wide(p[l][1]), at[l].wx);
            for (int l = 0; l < kN; ++l) bottom[l] = LerpWide(Wide(p[l][stride_]), Wide(p[l][stride_ + 1]), at[l].wx);
            for (int l = 0; l < kN; ++l) t[l] = LerpWide(top[l], bottom[l], at[l].wy);
        }
        // The vertex colour's alpha is 255: the source's alpha is the
        // texel's. It only matters through the alpha channel, since what
        // is written is opaque.
        uint64_t src[kN];
        for (int l = 0; l < kN; ++l) {
            if (flatWhite_)
                src[l] = t[l] & 0x000000FF00FF00FFull;
            else if (flatGrey_)
                src[l] = DivWide255((t[l] & 0x000000FF00FF00FFull) * flatB_);
            else if (kFlat)
                src[l] = ModulateWide(t[l], flatB_, flatR_, flatG_);
            else
                src[l] = ModulateWide(t[l], vb[l], vr[l], vg[l]);
        }
        if (kAlpha)
            for (int l = 0; l < kN; ++l) src[l] = DivWide255(src[l] * uint32_t(t[l] >> 48));
        if (kBlendAdd)
            for (int l = 0; l < kN; ++l) src[l] = AddSatWide(Wide(out[l]), src[l]);
        for (int l = 0; l < kN; ++l) out[l] = Narrow(src[l]) | 0xFF000000u;
    }

    const Tri& tri_;
    const Target& target_;
    const BandSetup& s_;
    // What the pixel loop reads of the texture, copied so that it stays in
    // registers: the compiler cannot know that writing pixels leaves it alone.
    const Picture tx_;
    const size_t stride_;
    bool skipBlocks_;
    uint32_t flatB_, flatG_, flatR_;
    bool flatGrey_, flatWhite_;
    float ddx_[kAttrCount];
};

template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
void DrawBand(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s) {
    BandPixels<kDepthTest, kBlendAdd, kAlpha, kBilinearTaps, kPersp, kFlat, kPow2>(tri, state, target, s).DrawRows();
}

template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
struct Loop {
    static constexpr BandFn kDraw = &DrawBand<kDepthTest, kBlendAdd, kAlpha, kBilinearTaps, kPersp, kFlat, kPow2>;
};

const BandTable kTable = MakeBandTable<Loop>(std::make_integer_sequence<int, 128>{});

}   // namespace

void DrawTriPortable(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1) {
    DrawWithTable(kTable, tri, state, target, bandY0, bandY1);
}

}   // namespace qor::render
