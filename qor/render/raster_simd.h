// The vector pixel loop, written once against a small set of operations per
// instruction set: V is AVX2 (raster_avx2.cpp, eight lanes) or WebAssembly
// SIMD128 (raster_wasm.cpp, four lanes). Each row's run of pixels from the
// three integer edge functions, perspective division, bilinear or nearest
// taps, 8-bit arithmetic in 16-bit lanes (lerp by rounding multiply-high,
// colour modulation by exact division by 255), saturating add. Pixels match
// the portable rasterizer bit for bit.
//
// V provides, for vectors F (float lanes) and I (32-bit integer lanes):
//   kLanes; arithmetic and comparisons named after what they do (AddF,
//   MulRoundHighI16, GtI32, ...); Round and Trunc (float to int, INT_MIN for NaN and out of
//   range); the texture reads (Gather, TexelPairs, BlockBits, and the last two from
//   indices in memory: TexelPairsAt, BlockBitsAt); Select (a blend by mask);
//   loads and stores of whole runs, of runs under a mask, and of two half
//   runs (Halves), whole or under a mask.
// This header is included by files compiled for different instruction sets:
// everything in it has internal linkage.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "render/raster_setup.h"

namespace qor::render {
namespace {

// What the pixel loop needs of a texture, as vectors ready for use. Each
// thread keeps the last one it made: consecutive triangles mostly share their
// texture. The key is everything the vectors are made from, so a match is as
// good as making them afresh.
template <class V>
struct TexVectors {
    using F = typename V::F;
    using I = typename V::I;
    F wf, hf;           // sides as floats
    F uScale, vScale;   // sides times 256
    I wi, hi, wmask, hmask, stride, blockStride;
    const uint32_t* base;
    const uint8_t* blocks;
    int rowStep;
    bool sparseAlpha, sparseColor;
};

struct TexKey {
    const void* texels;
    const void* blocks;
    int width, height, stride, blockStride, sparse;
    bool operator==(const TexKey&) const = default;
};

template <class V>
const TexVectors<V>& VectorsFor(const Texture& tx) {
    static thread_local TexVectors<V> cached;
    static thread_local TexKey cachedKey;
    const TexKey key{tx.texels.data(), tx.blocks.data(), tx.width, tx.height, tx.stride, tx.blockStride, tx.sparse};
    TexVectors<V>& p = cached;
    if (key == cachedKey) return p;
    p.base = tx.texels.data();
    p.blocks = tx.blocks.data();
    p.wf = V::SetF(float(tx.width));
    p.hf = V::SetF(float(tx.height));
    p.uScale = V::SetF(float(tx.width * 256));
    p.vScale = V::SetF(float(tx.height * 256));
    p.wi = V::SetI(tx.width);
    p.hi = V::SetI(tx.height);
    p.wmask = V::SetI(tx.width - 1);
    p.hmask = V::SetI(tx.height - 1);
    p.stride = V::SetI(tx.stride);
    p.blockStride = V::SetI(tx.blockStride);
    p.rowStep = tx.stride;
    p.sparseAlpha = tx.sparse & 1;
    p.sparseColor = tx.sparse & 2;
    cachedKey = key;
    return p;
}

// Texels split into 16-bit channel lanes without shuffles: `even` holds blue
// and red of each pixel's 32-bit lane, `odd` green and alpha.
template <class V>
__attribute__((always_inline)) inline void Split(typename V::I argb, typename V::I& even, typename V::I& odd) {
    even = V::And(argb, V::SetI(0x00FF00FF));
    odd = V::ShrU16(argb, 8);
}

// a + (b - a) * w / 256 per 16-bit lane; w7 holds w << 7.
template <class V>
__attribute__((always_inline)) inline typename V::I Lerp(typename V::I a, typename V::I b, typename V::I w7) {
    return V::AddI16(a, V::MulRoundHighI16(V::SubI16(b, a), w7));
}

// A colour channel 0..255 per lane from an interpolated value: clamped (NaN
// to 0), rounded to nearest even.
template <class V>
__attribute__((always_inline)) inline typename V::I ToBytes(typename V::F c) {
    return V::Round(V::MinF(V::MaxZeroF(c), V::SetF(255.0f)));
}

// Where a lane's texels are: the index of its texel (of the top-left tap
// with bilinear taps), the filter weights (the low byte of each lane) and,
// for the block map, the index of the 2x2 block holding the taps.
template <class V>
struct TapSite {
    typename V::I index, wx, wy, block;
};

// The texel site of (u, v) with repeat addressing; block only when asked.
template <class V, bool kBilinearTaps, bool kPow2>
__attribute__((always_inline)) inline TapSite<V> Locate(const TexVectors<V>& tp, typename V::F u, typename V::F v,
                                                        bool block) {
    using I = typename V::I;
    using F = typename V::F;
    const I zero = V::SetI(0);
    I x, y, wx = zero, wy = zero;
    if (kPow2) {
        // 24.8 fixed point, wrapped by masking: no floor, no range fix-up.
        const I fu = V::Round(V::MulF(u, tp.uScale));
        const I fv = V::Round(V::MulF(v, tp.vScale));
        if (!kBilinearTaps) {
            x = V::And(V::ShrI32(fu, 8), tp.wmask);
            y = V::And(V::ShrI32(fv, 8), tp.hmask);
        } else {
            const I c128 = V::SetI(128);
            const I gu = V::SubI32(fu, c128), gv = V::SubI32(fv, c128);
            x = V::And(V::ShrI32(gu, 8), tp.wmask);
            y = V::And(V::ShrI32(gv, 8), tp.hmask);
            wx = gu;   // the low byte is the weight
            wy = gv;
        }
    } else {
        const F uf = V::SubF(u, V::FloorF(u));
        const F vf = V::SubF(v, V::FloorF(v));
        if (!kBilinearTaps) {
            x = V::Trunc(V::MulF(uf, tp.wf));
            y = V::Trunc(V::MulF(vf, tp.hf));
            x = V::MinI32(V::MaxI32(x, zero), tp.wi);
            y = V::MinI32(V::MaxI32(y, zero), tp.hi);
        } else {
            const F half = V::SetF(0.5f);
            const F fx = V::SubF(V::MulF(uf, tp.wf), half);
            const F fy = V::SubF(V::MulF(vf, tp.hf), half);
            const F flx = V::FloorF(fx), fly = V::FloorF(fy);
            const F c256 = V::SetF(256.0f);
            const I c255 = V::SetI(255);
            wx = V::MinI32(V::MaxI32(V::Trunc(V::MulF(V::SubF(fx, flx), c256)), zero), c255);
            wy = V::MinI32(V::MaxI32(V::Trunc(V::MulF(V::SubF(fy, fly), c256)), zero), c255);
            x = V::Trunc(flx);
            y = V::Trunc(fly);
            x = V::AddI32(x, V::And(V::GtI32(zero, x), tp.wi));
            y = V::AddI32(y, V::And(V::GtI32(zero, y), tp.hi));
            const I one = V::SetI(1);
            x = V::MinI32(V::MaxI32(x, zero), V::SubI32(tp.wi, one));
            y = V::MinI32(V::MaxI32(y, zero), V::SubI32(tp.hi, one));
        }
    }
    TapSite<V> at;
    at.index = V::AddI32(V::MulIndex(y, tp.stride), x);
    at.wx = wx;
    at.wy = wy;
    at.block = block ? V::AddI32(V::MulIndex(V::ShrU32(y, 1), tp.blockStride), V::ShrU32(x, 1)) : zero;
    return at;
}

// The filtered texel at a site, split (Split). With skipTest, for pictures
// where many texels lack the bits of skipMask, returns false without
// finishing the filter when no tap has any of them (nothing to add).
// indexAt and blockAt, when given, hold the site's indices in memory: the
// taps' addresses are read from there rather than taken out of the vectors.
template <class V, bool kBilinearTaps>
__attribute__((always_inline)) inline bool Filter(const TexVectors<V>& tp, const TapSite<V>& at, const int32_t* indexAt,
                                                  const int32_t* blockAt, typename V::I skipMask, int skipBits,
                                                  bool skipTest, typename V::I& even, typename V::I& odd) {
    using I = typename V::I;
    if (!kBilinearTaps) {
        const I t = V::Gather(tp.base, at.index);
        if (skipTest && V::NoneSet(t, skipMask)) return false;
        Split<V>(t, even, odd);
        return true;
    }
    // The block map first: one small look-up per pixel that often saves four.
    if (skipTest && !((blockAt ? V::BlockBitsAt(tp.blocks, blockAt) : V::BlockBits(tp.blocks, at.block)) & skipBits))
        return false;
    // The picture's spare column and row repeat its first, so x + 1 and y + 1
    // need no wrapping: each tap pair is one 64-bit read.
    I t00, t10, t01, t11;
    if (indexAt)
        V::TexelPairsAt(tp.base, indexAt, tp.rowStep, t00, t10, t01, t11);
    else
        V::TexelPairs(tp.base, at.index, tp.rowStep, t00, t10, t01, t11);
    if (skipTest && V::NoneSet(V::Or(V::Or(t00, t10), V::Or(t01, t11)), skipMask)) return false;
    // Weights (the low byte of each pixel's lane) as w << 7 in both 16-bit
    // halves of the lane.
    const I wxs = V::WeightsTimes128(at.wx), wys = V::WeightsTimes128(at.wy);
    I e00, o00, e10, o10, e01, o01, e11, o11;
    Split<V>(t00, e00, o00);
    Split<V>(t10, e10, o10);
    Split<V>(t01, e01, o01);
    Split<V>(t11, e11, o11);
    even = Lerp<V>(Lerp<V>(e00, e10, wxs), Lerp<V>(e01, e11, wxs), wys);
    odd = Lerp<V>(Lerp<V>(o00, o10, wxs), Lerp<V>(o01, o11, wxs), wys);
    return true;
}

// Whether skipping is worth its tests for this draw: an additive draw of a
// picture where many blocks lack what it adds (skipBits 1: alpha, 2: colour).
template <class V>
inline bool WorthSkipping(const TexVectors<V>& tp, int skipBits, bool additive) {
    return additive && (skipBits == 1 ? tp.sparseAlpha : tp.sparseColor);
}

// Each row's run of covered pixels, exactly, for the rows s.j0 .. s.j1:
// first[r] and last[r] for row s.j0 + r are columns relative to s.x0 (last <
// first: none). kLanes rows at a time: where each edge crosses zero, estimated
// in floating point and corrected by one column with the integer edge value.
template <class V>
inline void RowSpans(const Tri& tri, const BandSetup& s, int32_t* first, int32_t* last) {
    using I = typename V::I;
    const int rows = s.j1 - s.j0 + 1;
    const I lanes = V::Lanes();
    const I zero = V::SetI(0);
    for (int r = 0; r < rows; r += V::kLanes) {
        const I j = V::AddI32(V::SetI(s.j0 + r), lanes);
        I lo = zero, hi = V::SetI(s.x1 - s.x0);
        for (int e = 0; e < 3; ++e) {
            const int32_t sx = tri.stepX[e];
            const I ev = V::AddI32(V::SetI(s.e[e]), V::MulI32(j, V::SetI(tri.stepY[e])));
            if (sx == 0) {   // a horizontal edge: the whole row or none of it
                hi = V::Or(hi, V::GtI32(zero, ev));
                continue;
            }
            // Inside where ev + sx * i >= 0: i from -ev / sx on (sx > 0) or up to it (sx < 0).
            // The estimate is off by less than a column where it matters (a
            // crossing within the box); far outside, clamping to the box decides.
            const typename V::F q = V::MulF(V::ToF(ev), V::SetF(tri.crossX[e]));
            const I sxv = V::SetI(sx);
            if (sx > 0) {
                I c = V::Round(V::CeilF(q));
                const I v = V::AddI32(ev, V::MulI32(sxv, c));
                c = V::SubI32(c, V::GtI32(zero, v));              // outside: one more
                c = V::AddI32(c, V::GtI32(v, V::SetI(sx - 1)));   // the one before is in
                lo = V::MaxI32(lo, c);
            } else {
                I c = V::Round(V::FloorF(q));
                const I v = V::AddI32(ev, V::MulI32(sxv, c));
                c = V::AddI32(c, V::GtI32(zero, v));               // outside: one less
                c = V::SubI32(c, V::GtI32(v, V::SetI(-sx - 1)));   // the one after is in
                hi = V::MinI32(hi, c);
            }
        }
        // A horizontal edge's -1 or'ed into hi leaves it negative: no pixels.
        V::Store(first + r, lo);
        V::Store(last + r, hi);
    }
}

// One triangle's part in one strip, drawn by the vector loop. Pixels go
// through the loop kLanes at a time: kLanes (or fewer at the end) in a row,
// or two runs of up to half as many, the end of one row and the start of a
// later one, so that small triangles with short rows keep the lanes busy. A
// run writes only its own pixels' new values. Where all of its lanes lie in
// its row (which belongs to this band and this thread), it reads them all and
// writes the rest back unchanged, with plain loads and stores; masked stores
// cost several times more on some processors (AMD's). Only at the row's right
// end, where lanes would reach into the next row (maybe another band, drawn
// by another thread), do the masked forms remain.
//
// The steps, in the order a run takes them: LocateRun (depth test, texel
// site, vertex colour), FinishRun (taps, filter, colour before blending);
// then either DrawPair (two short runs in the two halves of the lanes) or
// DrawRowRuns (up to kRound runs of one row, in two passes); DrawRows, the
// row loop, decides which.
template <class V, bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat,
          bool kPow2>
class BandDraw {
    using F = typename V::F;
    using I = typename V::I;
    static constexpr int kLanes = V::kLanes, kHalf = V::kLanes / 2;
    // The attributes this variant reads.
    static constexpr uint32_t kUsed = UsedAttributes(kDepthTest, kPersp, kFlat);
    static constexpr bool Used(int a) { return (kUsed >> a & 1) != 0; }
    static constexpr int kSkipBits = kAlpha ? 1 : 2;
    // Runs a row takes through DrawRowRuns at a time.
    static constexpr int kRound = 8;

public:
    __attribute__((always_inline))
    BandDraw(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s)
        : tri_(tri),
          s_(s),
          tp_(VectorsFor<V>(*state.texture)),
          pitch_(size_t(target.width)),
          roomFull_(target.width - s.x0 - kLanes),
          roomHalf_(target.width - s.x0 - kHalf),
          color0_(target.color + size_t(s.y0) * pitch_ + s.x0),
          depth0_(target.depth + size_t(s.y0) * pitch_ + s.x0) {
        Split<V>(V::SetI(int(tri.flatColor)), flatEven_, flatOdd_);
        for (int a = 0; a < kAttrCount; ++a) {
            base_[a] = V::SetF(s.base[a]);
            ddx_[a] = V::SetF(tri.ddx[a]);
            ddy_[a] = V::SetF(tri.ddy[a]);
        }
        skipMask_ = kAlpha ? V::SetI(int(0xFF000000u)) : V::SetI(0x00FFFFFF);
        skip_ = WorthSkipping<V>(tp_, kSkipBits, kBlendAdd);
        blocks_ = skip_ && kBilinearTaps;
    }

    // The row loop: each row's run of covered pixels (RowSpans), long ones
    // in rounds of whole runs, short ones (up to kHalf) paired with the next
    // row's start.
    __attribute__((always_inline)) void DrawRows() {
        constexpr int kSpanRows = (kStripRows + kLanes - 1) / kLanes * kLanes;
        alignas(32) int32_t first[kSpanRows], last[kSpanRows];
        RowSpans<V>(tri_, s_, first, last);
        int pj = -1, px = 0, pn = 0;   // a run of up to kHalf waiting for a partner
        for (int j = s_.j0; j <= s_.j1; ++j) {
            int x = first[j - s_.j0];
            const int l = last[j - s_.j0];
            if (x > l) continue;
            if (pj >= 0) {
                const int n = std::min(kHalf, l - x + 1);
                DrawPair(pj, px, pn, j, x, n);
                pj = -1;
                x += n;
            }
            int left = l - x + 1;
            if (left > kHalf) {
                // Row values as scalars: the same arithmetic as the other loops.
                F row[kAttrCount];
                const float fj = float(j);
                for (int a = 0; a < kAttrCount; ++a)
                    if (Used(a)) row[a] = V::SetF(s_.base[a] + tri_.ddy[a] * fj);
                for (; left > 0;) {
                    const int n = std::min(left, kRound * kLanes);
                    DrawRowRuns(row, j, x, n);
                    x += n;
                    left -= n;
                }
            } else if (left > 0) {
                pj = j, px = x, pn = left;
            }
        }
        if (pj >= 0) DrawPair(pj, px, pn, pj, px, 0);
    }

private:
    // The first half of shading the lanes at columns fi of rows whose
    // attribute values at column 0 are row[]: the texel site and the vertex
    // colour (split as the texels are: blue and red, green and opaque alpha).
    // With the depth test, zb is what the depth buffer holds there; lanes
    // failing it leave `live`. Returns false when no lane is left.
    __attribute__((always_inline)) bool LocateRun(F fi, const F* row, I& live, F zb, F& z, TapSite<V>& site, I& ve,
                                                  I& vo) const {
        // Same expression as the portable path: (base + ddy * row) + ddx * column.
        auto attr = [&](int a) __attribute__((always_inline)) { return V::AddF(row[a], V::MulF(ddx_[a], fi)); };
        if (kDepthTest) {
            z = attr(kZ);
            live = V::And(live, V::LeF(z, zb));
            if (V::NoneSet(live, live)) return false;
        }
        F u = attr(kU);
        F v = attr(kV);
        const F one = V::SetF(1.0f);
        F w = one;
        if (kPersp) {
            w = V::DivF(one, attr(kRhw));
            u = V::MulF(u, w);
            v = V::MulF(v, w);
        }
        ve = flatEven_, vo = flatOdd_;
        if (!kFlat) {
            F r = attr(kR), g = attr(kG), b = attr(kB);
            if (kPersp) {
                r = V::MulF(r, w);
                g = V::MulF(g, w);
                b = V::MulF(b, w);
            }
            ve = V::Or(ToBytes<V>(b), V::ShlI32(ToBytes<V>(r), 16));
            vo = V::Or(ToBytes<V>(g), V::SetI(0x00FF0000));   // opaque alpha
        }
        site = Locate<V, kBilinearTaps, kPow2>(tp_, u, v, blocks_);
        return true;
    }

    // The second half: the colour before blending (src). Returns false when
    // an additive draw adds nothing: the texels are black (or, through the
    // alpha channel, transparent). indexAt and blockAt as for Filter.
    __attribute__((always_inline)) bool FinishRun(const TapSite<V>& site, const int32_t* indexAt,
                                                  const int32_t* blockAt, I ve, I vo, I& src) const {
        I te, to;
        if (!Filter<V, kBilinearTaps>(tp_, site, indexAt, blockAt, skipMask_, kSkipBits, skip_, te, to)) return false;
        te = V::MulDiv255(te, ve);
        to = V::MulDiv255(to, vo);
        if (kAlpha) {
            // Alpha (the high word of `to`) over all four channels.
            const I a = V::HighWordTwice(to);
            te = V::MulDiv255(te, a);
            to = V::MulDiv255(to, a);
        }
        src = V::Or(te, V::ShlI16(to, 8));
        return true;
    }

    // Runs (row jA, column xA, nA pixels) and (jB, xB, nB), nA in 1..kHalf,
    // nB in 0..kHalf, in the lower and upper halves of the lanes.
    __attribute__((always_inline)) void DrawPair(int jA, int xA, int nA, int jB, int xB, int nB) {
        const I halfLanes = V::HalfLanes();
        I live = V::GtI32(V::HalvesI(nA, nB), halfLanes);
        const F fi = V::ToF(V::AddI32(V::HalvesI(xA, xB), halfLanes));
        const F fj = V::HalvesF(float(jA), float(jB));
        F row[kAttrCount];
        for (int a = 0; a < kAttrCount; ++a)
            if (Used(a)) row[a] = V::AddF(base_[a], V::MulF(ddy_[a], fj));
        uint32_t* const cA = color0_ + size_t(jA) * pitch_ + xA;
        uint32_t* const cB = color0_ + size_t(jB) * pitch_ + xB;
        float* const zA = depth0_ + size_t(jA) * pitch_ + xA;
        float* const zB = depth0_ + size_t(jB) * pitch_ + xB;
        const I liveIn = live;
        // Both halves within their rows (a lone run has no second half).
        const bool room = nB > 0 && xA <= roomHalf_ && xB <= roomHalf_;
        F z = V::SetF(0.0f), zb = z;
        if (kDepthTest) zb = room ? V::LoadHalvesF(zA, zB) : V::MaskLoadHalvesF(zA, zB, live);
        TapSite<V> site;
        I ve, vo, src;
        if (!LocateRun(fi, row, live, zb, z, site, ve, vo)) return;
        if (FinishRun(site, nullptr, nullptr, ve, vo, src)) {
            I dst = src;   // read only with room or blending
            if (room)
                dst = V::LoadHalves(cA, cB);
            else if (kBlendAdd)
                dst = V::MaskLoadHalves(cA, cB, liveIn);
            if (kBlendAdd) src = V::AddSatU8(src, dst);
            src = V::Or(src, V::SetI(int(0xFF000000u)));
            if (room)
                V::StoreHalves(cA, cB, V::Select(live, src, dst));
            else
                V::MaskStoreHalves(cA, cB, live, src);
        }
        if (kDepthTest) {
            if (room)
                V::StoreHalvesF(zA, zB, V::SelectF(live, z, zb));
            else
                V::MaskStoreHalvesF(zA, zB, live, z);
        }
    }

    // Up to kRound runs of row j, n pixels from column x on (the last run
    // may be short), in two passes: first every run's depth test, texel sites
    // and vertex colours, then the taps, filter, blend and writes. Done run
    // by run, each run is one long chain of dependent steps (divide,
    // addresses, loads, filter, blend) that the processor cannot overlap with
    // the next run's; split, the runs of each pass are independent of one
    // another, and the second pass reads the taps' addresses from memory
    // instead of taking them out of vectors.
    __attribute__((always_inline)) void DrawRowRuns(const F* row, int j, int x, int n) {
        alignas(32) int32_t index[kRound][kLanes], block[kRound][kLanes];
        I wx[kRound], wy[kRound], ve[kRound], vo[kRound], live[kRound];
        F z[kRound];
        const I lanes = V::Lanes();
        const I rgbMask = V::SetI(0x00FFFFFF);
        const int runs = (n + kLanes - 1) / kLanes;
        uint32_t* const c0 = color0_ + size_t(j) * pitch_ + x;
        float* const z0 = depth0_ + size_t(j) * pitch_ + x;
        auto rowMask = [&](int g) __attribute__((always_inline)) {
            return n - g * kLanes >= kLanes ? V::SetI(-1) : V::GtI32(V::SetI(n - g * kLanes), lanes);
        };
        for (int g = 0; g < runs; ++g) {
            const F fi = V::ToF(V::AddI32(V::SetI(x + g * kLanes), lanes));
            live[g] = rowMask(g);
            F zb = V::SetF(0.0f);
            if (kDepthTest)
                zb = x + g * kLanes <= roomFull_ ? V::LoadF(z0 + g * kLanes) : V::MaskLoadF(z0 + g * kLanes, live[g]);
            TapSite<V> site;
            if (!LocateRun(fi, row, live[g], zb, z[g], site, ve[g], vo[g])) continue;   // live[g] is empty
            V::Store(index[g], site.index);
            if (blocks_) V::Store(block[g], site.block);
            wx[g] = site.wx;
            wy[g] = site.wy;
        }
        for (int g = 0; g < runs; ++g) {
            if (kDepthTest && V::NoneSet(live[g], live[g])) continue;
            uint32_t* const c = c0 + g * kLanes;
            const bool full = n - g * kLanes >= kLanes;
            const bool room = x + g * kLanes <= roomFull_;   // every lane within the row
            I dst = V::SetI(0);
            if (kBlendAdd || (room && (kDepthTest || !full))) dst = room ? V::Load(c) : V::MaskLoad(c, rowMask(g));
            if (kBlendAdd) {
                // Adding onto pixels that are white already changes nothing
                // (layers of light saturate): without a depth write to make,
                // skip them.
                if (!kDepthTest && full && V::AllSet(dst, rgbMask)) continue;
            }
            TapSite<V> site;
            site.index = V::Load(reinterpret_cast<const uint32_t*>(index[g]));
            site.wx = wx[g];
            site.wy = wy[g];
            I src;
            if (FinishRun(site, index[g], blocks_ ? block[g] : nullptr, ve[g], vo[g], src)) {
                if (kBlendAdd) src = V::AddSatU8(src, dst);
                src = V::Or(src, V::SetI(int(0xFF000000u)));
                if (full && !kDepthTest)
                    V::Store(c, src);
                else if (room)
                    V::Store(c, V::Select(live[g], src, dst));
                else
                    V::MaskStore(c, live[g], src);
            }
            if (kDepthTest) {
                float* const zp = z0 + g * kLanes;
                if (room)
                    V::StoreF(zp, V::SelectF(live[g], z[g], V::LoadF(zp)));
                else
                    V::MaskStoreF(zp, live[g], z[g]);
            }
        }
    }

    const Tri& tri_;
    const BandSetup& s_;
    const TexVectors<V>& tp_;
    const size_t pitch_;
    // Runs of kLanes (kHalf) pixels starting before these columns (relative
    // to s.x0) stay within their row.
    const int roomFull_, roomHalf_;
    uint32_t* const color0_;
    float* const depth0_;
    I flatEven_, flatOdd_;
    F base_[kAttrCount], ddx_[kAttrCount], ddy_[kAttrCount];
    I skipMask_;
    bool skip_, blocks_;
};

template <class V, bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat,
          bool kPow2>
void DrawBandSimd(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s) {
    BandDraw<V, kDepthTest, kBlendAdd, kAlpha, kBilinearTaps, kPersp, kFlat, kPow2>(tri, state, target, s).DrawRows();
}

// The table of DrawBandSimd<V, ...> for DrawWithTable.
template <class V>
struct SimdLoop {
    template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
    struct Loop {
        static constexpr BandFn kDraw =
            &DrawBandSimd<V, kDepthTest, kBlendAdd, kAlpha, kBilinearTaps, kPersp, kFlat, kPow2>;
    };
};

}   // namespace
}   // namespace qor::render
