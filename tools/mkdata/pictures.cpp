// Pictures: the loading screen, every scene texture and the four overlays.
// Textures that repeat on meshes tile seamlessly in u and v; overlays are
// drawn additively, so their black shows nothing and only bright ink counts.
#include <cmath>

#include "generators.h"
#include "raster.h"

namespace mkdata {

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kJpegQuality = 90;

float Fract(float v) { return v - std::floor(v); }

// Distance to the nearest multiple of period (for repeating lines).
float LineDistance(float v, float period) {
    const float f = Fract(v / period) * period;
    return std::min(f, period - f);
}

// Thickens every stroke by `by` pixels to the right and down (the mask's
// pad must leave room): each pixel takes the most ink of itself and of its
// neighbours up to `by` pixels to the left and above.
Mask Embolden(const Mask& m, int by) {
    Mask out = m;
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x)
            for (int dy = 0; dy <= by && dy <= y; ++dy)
                for (int dx = 0; dx <= by && dx <= x; ++dx) out.At(x, y) = std::max(out.At(x, y), m.At(x - dx, y - dy));
    return out;
}

// Adds text centred at (cx, cy) coloured by colour(x, y), with a blurred
// halo; bold > 0 thickens the strokes by that many pixels.
void AddText(Canvas& c, const Font& font, const std::string& text, float px, float cx, float cy,
             const std::function<Rgb(int, int)>& ink, Rgb halo, int haloRadius, float haloGain, int bold = 0) {
    const int pad = haloRadius * 3 + bold;
    const Mask m = bold > 0 ? Embolden(font.Text(text, px, pad), bold) : font.Text(text, px, pad);
    const int ox = int(std::lround(cx - float(m.w) / 2)), oy = int(std::lround(cy - float(m.h) / 2));
    if (haloRadius > 0) {
        Mask glow = Blur(m, haloRadius);
        AddMask(c, glow, ox, oy, [&](int, int) { return halo * haloGain; });
    }
    AddMask(c, m, ox, oy, ink);
}

void ClampCanvas(Canvas& c) {
    for (Rgb& p : c.rgb) p = {Clamp01(p.r), Clamp01(p.g), Clamp01(p.b)};
}

// Scales down every texel whose luma is above limit (0..1) to it, keeping
// its hue: where strokes cross, their light does not add up past it.
void LimitLuma(Canvas& c, float limit) {
    for (Rgb& p : c.rgb) {
        const float luma = 0.2126f * p.r + 0.7152f * p.g + 0.0722f * p.b;
        if (luma > limit) p = p * (limit / luma);
    }
}

}   // namespace

// >> loading screen

// A swirling wormhole: logarithmic spiral arms around a white-hot throat, with
// stars outside; the bottom stays dark so the progress row reads over it.
std::vector<uint8_t> GenWormholePicture() {
    Canvas c(256, 256);
    const float cx = 128, cy = 112;
    Paint(c, 3, [&](float x, float y) {
        const float dx = (x - cx) / 128.f, dy = (y - cy) / 128.f;
        const float r = std::sqrt(dx * dx + dy * dy) + 1e-4f;
        const float a = std::atan2(dy, dx);
        const float depth = std::log(r);
        // Arms: six spirals, streaked along their length by noise.
        const float arm = 0.5f + 0.5f * std::sin(6.f * a + 7.f * depth);
        const float streak = TiledNoise((a / (2 * kPi) + 0.5f) * 24.f + depth * 2.2f, depth * 6.f, 24, 1 << 20, 7);
        float arms = std::pow(arm, 3.f) * (0.55f + 0.9f * streak);
        const float rings = 0.5f + 0.5f * std::sin(18.f * depth - 3.f * a);
        arms *= 0.75f + 0.25f * rings;
        const float throat = std::exp(-r * r * 40.f);
        const float funnel = SmoothStep(0.03f, 0.18f, r) * std::exp(-std::max(0.f, r - 0.6f) * 2.f);
        const Rgb deep = Hex(0x3A0C8A), mid = Hex(0x1F8BFF), hot = Hex(0xB8F4FF);
        const float heat = Clamp01(1.f - r * 1.2f);
        Rgb col = Mix(deep, mid, heat) * (arms * funnel * 1.5f) + Hex(0xC02080) * (arms * funnel * (1.f - heat) * 0.5f);
        col = col + Mix(mid, hot, heat) * (std::pow(arm, 12.f) * funnel * heat * 0.9f);
        col = col + Hex(0xFFFFFF) * throat * 1.4f + Hex(0x6FD8FF) * std::exp(-r * 5.f) * 0.5f;
        // Stars, beyond the swirl.
        const int gx = int(x / 4), gy = int(y / 4);
        const float star = Hash01(uint32_t(gx), uint32_t(gy), 99);
        if (star > 0.985f) {
            const float sx = float(gx * 4) + 2, sy = float(gy * 4) + 2;
            const float d = std::hypot(x - sx, y - sy);
            col = col + Hex(0xDDE8FF) * (std::exp(-d * d) * (star - 0.985f) * 60.f * SmoothStep(0.3f, 0.7f, r));
        }
        // Keep the bottom dark: the progress row (screen rows 214 to 227, the
        // picture's 228 to 242) is drawn there in dim colours.
        const float band = 1.f - 0.85f * SmoothStep(196.f, 224.f, y);
        return col * band;
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// >> cylinder wall and knot

// Grid of 8 x 8 glowing tiles parted by dark seams, with fainter half-way
// grooves. The light is spread evenly over the tiles instead of gathered in
// bright lines: the credits are added over this wall, and a letter reads
// against the brightest of what is around it, which here is no brighter
// than the tiles' own soft glow (a bright line crossing a small letter would
// drown it, and near the eye the wall magnifies lines into beams). The
// tiles are a mosaic of blue, teal and violet of one luma, so the bare wall
// after the credits has something to show without any part of it being
// brighter; each tile is a touch brighter along its upper left edge, so the
// wall has relief. The wall only ever shows the top 54 % of the picture
// (its v is an angle, 0 to 0.536); below that, where only the opening
// scene's full-screen background shows it (at half grey), the tiles
// brighten toward the bottom into a glowing floor, to light the opening. Every texel stays
// far below white, so the knot and the swarm added over it keep their colour.
// Tiles across u.
std::vector<uint8_t> GenGridPicture() {
    Canvas c(256, 256);
    Paint(c, 4, [&](float x, float y) {
        const float dx = LineDistance(x, 32.f), dy = LineDistance(y, 32.f);
        const float seam = SmoothStep(0.5f, 1.8f, std::min(dx, dy));   // 0 in the seam
        const float groove =
            1.f - 0.3f * SmoothStep(1.2f, 0.2f, std::min(LineDistance(x + 16.f, 32.f), LineDistance(y + 16.f, 32.f)));
        // Relief: brighter just inside the tile's top and left edges.
        const float fx = Fract(x / 32.f) * 32.f, fy = Fract(y / 32.f) * 32.f;
        const float bevel = 0.12f * std::exp(-std::min(fx, fy) / 3.f);
        const float sheen = 0.06f * TiledFbm(x / 32.f, y / 32.f, 8, 2, 31);
        const int tx = int(x / 32.f) % 8, ty = int(y / 32.f) % 8;
        const uint32_t hue = Hash(uint32_t(tx), uint32_t(ty), 33) % 3;
        const Rgb tile = hue == 0 ? Hex(0x0C286A) : hue == 1 ? Hex(0x082E4A) : Hex(0x281C88);
        const float floor = 1.f + 8.f * SmoothStep(140.f, 256.f, y);
        return tile * (seam * groove * (0.62f + bevel + sheen) * floor);
    });
    ClampCanvas(c);
    return EncodePng(c, 3);
}

// Sphere environment map for the chrome knot. The pixel at (u, v) holds what a
// surface with camera-space normal n = (2u - 1, 1 - 2v, -nz) reflects: a
// bright sky above the horizon, a hot horizon band, below it a smooth ground
// of warm sand fading into haze (no pattern: the knot turns fast and a
// pattern in its reflection reads as noise), a sun and a cool second light.
std::vector<uint8_t> GenTechPicture() {
    Canvas c(256, 256);
    Paint(c, 3, [&](float x, float y) {
        float nx = x / 128.f - 1.f, ny = 1.f - y / 128.f;
        float rr = nx * nx + ny * ny;
        if (rr > 1.f) {   // outside the disc: pull onto its rim
            const float k = 1.f / std::sqrt(rr);
            nx *= k;
            ny *= k;
            rr = 1.f;
        }
        const float nz = -std::sqrt(std::max(0.f, 1.f - rr));
        // Reflected view ray: d - 2 (d.n) n with d = (0, 0, 1).
        const float rx = -2.f * nz * nx, ry = -2.f * nz * ny, rz = 1.f - 2.f * nz * nz;
        Rgb col;
        if (ry >= 0) {
            const Rgb zenith = Hex(0x3060C0), horizon = Hex(0xB8DCF0);
            col = Mix(horizon, zenith, std::pow(ry, 0.6f));
            const float cloud = TiledFbm(rx * 1.5f + 10.f, rz * 1.5f + 10.f, 8, 3, 5);
            col = col + Hex(0xFFFFFF) * (SmoothStep(0.55f, 0.8f, cloud) * 0.25f * (1.f - ry));
        } else {
            const float g = -ry;
            col = Mix(Hex(0xD8B890), Hex(0x8A6A50), SmoothStep(0.f, 0.8f, g));
        }
        // Horizon: a hot band.
        col = col + Hex(0xFFE0A0) * (std::exp(-std::abs(ry) * 18.f) * 0.35f);
        // Sun and a second, cooler highlight.
        auto spot = [&](float sx, float sy, float sz, float sharp) {
            const float l = std::sqrt(sx * sx + sy * sy + sz * sz);
            const float d = (rx * sx + ry * sy + rz * sz) / l;
            return std::pow(std::max(0.f, d), sharp);
        };
        col = col + Hex(0xFFD8A0) * (spot(-0.5f, 0.6f, -0.6f, 120.f) * 0.7f + spot(-0.5f, 0.6f, -0.6f, 10.f) * 0.15f);
        col = col + Hex(0x70C0FF) * (spot(0.7f, 0.25f, -0.4f, 80.f) * 0.5f);
        // Kept below white: the knot is added over the wall, and the swarm over
        // both. The highlights are compressed more than the rest, so the knot
        // stays bright where the swarm's rays add to it without clipping.
        auto knee = [](float v) { return v * 2.2f / (1.f + 1.2f * v); };
        return Rgb{knee(col.r), knee(col.g), knee(col.b)} * 0.4f;
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// >> geo swarm

// Innermost swarm copy, opaque and drawn at 100/255 of its texture: blue
// hexagonal cells with gold seams, saturated enough to survive that. 8 cells
// across and 10 rows down (slightly squat hexagons) so the picture tiles.
std::vector<uint8_t> GenGeoPicture() {
    Canvas c(256, 256);
    const float cellW = 32.f, rowH = 25.6f;
    Paint(c, 3, [&](float x, float y) {
        // Nearest and second-nearest cell centres (rows staggered by half a cell).
        float d1 = 1e9f, d2 = 1e9f;
        int bestI = 0, bestJ = 0;
        const int j0 = int(std::floor(y / rowH));
        for (int j = j0 - 1; j <= j0 + 2; ++j) {
            const float shift = (j & 1) ? cellW * 0.5f : 0.f;
            const int i0 = int(std::floor((x - shift) / cellW));
            for (int i = i0 - 1; i <= i0 + 2; ++i) {
                const float d = std::hypot(x - (float(i) * cellW + shift), y - float(j) * rowH);
                if (d < d1) {
                    d2 = d1;
                    d1 = d;
                    bestI = i;
                    bestJ = j;
                } else if (d < d2) {
                    d2 = d;
                }
            }
        }
        const float edge = (d2 - d1) * 0.5f;   // pixels to the seam
        const float tone = Hash01(uint32_t((bestI % 8 + 8) % 8), uint32_t((bestJ % 10 + 10) % 10), 3);
        const Rgb base = Mix(Hex(0x0B2F7A), Hex(0x1C6FD0), tone);
        const float n = TiledFbm(x / 32.f, y / 32.f, 8, 3, 11);
        Rgb col = base * (0.6f + 0.6f * n) + Hex(0x40C0FF) * (std::exp(-d1 / 5.f) * 0.6f);
        col = col + Hex(0xFFC040) * SmoothStep(1.6f, 0.6f, edge) + Hex(0xFF7A10) * (std::exp(-edge / 2.f) * 0.5f);
        return col;
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// Light of the 94 outer swarm copies, added one over another along the
// lattice's thin struts. Every texel glows faintly, blue to cyan in slow
// waves, so each strut shows and the nested copies of it make a fan of light;
// brighter rings (columns: u is the height) and sparse glints light parts of
// the struts, which the copies stretch into rays. The swarm is drawn with
// the alpha channel applied in one window and ignored in the other, so alpha
// is at or near 1 wherever there is light: both windows show the same light.
std::vector<uint8_t> GenValoPicture() {
    Canvas c(256, 256);
    Paint(c, 1, [&](float x, float y) {
        const float base = 0.03f * (0.5f + TiledFbm(x / 64.f, y / 64.f, 4, 3, 77));
        const float wave = 0.5f + 0.5f * std::sin((y * 2.f + x) / 256.f * 2 * kPi);
        Rgb col = Mix(Hex(0x4060E0), Hex(0x40E0C0), wave) * base;
        const float ringD = std::min({LineDistance(x - 24.f, 256.f), LineDistance(x - 96.f, 256.f),
                                      LineDistance(x - 160.f, 256.f), LineDistance(x - 216.f, 256.f)});
        // Rings broken into dashes around the lattice (v is the angle).
        const float dash = SmoothStep(0.25f, 0.45f, 0.5f + 0.5f * std::sin((y * 6.f + x * 4.f) / 256.f * 2 * kPi));
        const float ring = (SmoothStep(1.6f, 0.4f, ringD) * 0.06f + std::exp(-ringD / 2.5f) * 0.015f) * dash;
        col = col + Hex(0x60B0E8) * ring;
        // Glints, one in about five cells, each cyan, magenta or gold.
        const int gx = int(x / 16), gy = int(y / 16);
        const float h = Hash01(uint32_t(gx), uint32_t(gy), 41);
        if (h > 0.8f) {
            const float sx = float(gx * 16) + 4 + 8 * Hash01(uint32_t(gx), uint32_t(gy), 42);
            const float sy = float(gy * 16) + 4 + 8 * Hash01(uint32_t(gx), uint32_t(gy), 43);
            const float d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
            const float g = std::exp(-d2 / 3.f) * 0.12f + std::exp(-d2 / 20.f) * 0.02f;
            const uint32_t hue = Hash(uint32_t(gx), uint32_t(gy), 44) % 3;
            const Rgb tint = hue == 0 ? Hex(0x80F0FF) : hue == 1 ? Hex(0xFF80E0) : Hex(0xFFD070);
            col = col + Mix(tint, Hex(0xFFFFFF), g * 0.5f) * g;
        }
        return col;
    });
    for (size_t i = 0; i < c.rgb.size(); ++i)
        c.alpha[i] = Clamp01(48.f * std::max({c.rgb[i].r, c.rgb[i].g, c.rgb[i].b}));
    ClampCanvas(c);
    return EncodePng(c, 4);
}

// >> trio: one round hall seen from inside (drawn additively, but nearer
// layers hide farther ones through the depth test, so each reads as a solid
// surface). Broad, soft shapes only: the views turn up to a radian a second.

// "05.jpg": the two gilded hoops nearest the camera. Warm gold with a broad
// sheen round the hoop and a soft ridge along the equator hoop's middle.
std::vector<uint8_t> GenHoopsPicture() {
    Canvas c(256, 256);
    Paint(c, 2, [&](float x, float y) {
        const float u = x / 256.f, v = y / 256.f;
        const float sheen = 0.5f + 0.5f * std::sin(u * 2 * kPi * 3.f + std::sin(v * 2 * kPi) * 1.5f);
        const float ridge = std::exp(-std::pow((v - 0.5f) / 0.02f, 2.f));
        const Rgb col = Mix(Hex(0x6A4A20), Hex(0xC89A50), 0.35f + 0.5f * sheen) + Hex(0xF0D8A0) * (ridge * 0.25f);
        return col * (0.92f + 0.08f * TiledFbm(x / 64.f, y / 64.f, 4, 2, 51));
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// "04.jpg": the colonnade, repeated twelve times round (u 0 to 0.2 of each
// repeat is a pillar; pillars run between latitude rows 5 and 25 of 30).
// The pillar: pale blue stone, rounded by its shading, with three broad
// flutes, lit most at mid height. Three rings cross all of u: a capital
// ring (v 0.133 to 0.167), the balcony at the equator (0.467 to 0.533) and
// a base ring (0.833 to 0.867), warm bronze rounded across v.
std::vector<uint8_t> GenColonnadePicture() {
    Canvas c(256, 256);
    Paint(c, 3, [&](float x, float y) {
        const float v = y / 256.f;
        auto ring = [&](float v0, float v1) {   // 0 outside, rounded 0..1 across the ring
            if (v < v0 || v > v1) return 0.f;
            return std::sin((v - v0) / (v1 - v0) * kPi);
        };
        const float r = std::max({ring(0.133f, 0.167f), ring(0.467f, 0.533f), ring(0.833f, 0.867f)});
        if (r > 0) return Mix(Hex(0x3A2810), Hex(0xD8A868), std::pow(r, 0.7f));
        const float s = x / 51.2f;            // across the pillar
        if (s >= 1.f) return Hex(0x203848);   // as the pillar's edges, so u tiles
        const float round = std::pow(std::sin(s * kPi), 0.6f);
        const float flutes = 0.85f + 0.15f * std::cos(s * 2 * kPi * 3.f);
        const float height = 0.6f + 0.4f * std::sin(v * kPi);
        return Mix(Hex(0x203848), Hex(0xA8C4D8), round * flutes * height);
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// "02.jpg": the hall itself, one panorama round the outer sphere (u the
// angle round, v from the top pole to the bottom one). A blue dome with
// eight soft ribs and a pale skylight at its top; walls of deep teal with
// six tall arched windows, amber on one side of the hall shading to rose
// and to cool cyan on the other; a dark violet floor with broad rings and a
// glowing teal medallion at its middle. Every part differs from the others,
// so the three views show three parts of one room.
std::vector<uint8_t> GenHallPicture() {
    Canvas c(256, 256);
    Paint(c, 3, [&](float x, float y) {
        const float u = x / 256.f, v = y / 256.f;
        const float noise = TiledFbm(x / 64.f, y / 64.f, 4, 3, 71);
        Rgb col;
        if (v < 0.3f) {   // dome
            const float ribs = 0.5f + 0.5f * std::cos(u * 2 * kPi * 8.f);
            col = Mix(Hex(0x1C2C60), Hex(0x3A5A98), v / 0.3f) * (0.8f + 0.35f * SmoothStep(0.6f, 1.f, ribs));
            col = Mix(col, Hex(0xE8E0C8), SmoothStep(0.1f, 0.05f, v));   // skylight
        } else if (v < 0.68f) {                                          // walls
            col = Mix(Hex(0x1A4C64), Hex(0x2A6A80), noise);
            col = Mix(col, Hex(0x2C5070), SmoothStep(0.62f, 0.68f, v));
            // Windows: centres at u = (k + 0.5) / 6, arched tops.
            const float k = std::floor(u * 6.f);
            const float du = (u * 6.f - k - 0.5f) * (1.f / 6.f) * 2 * kPi * 138.f / 138.f;   // radians off centre
            const float half = 0.16f;                                                        // half width, radians
            const float arch = 0.4f;                                                         // v of the arch's spring
            float inside = SmoothStep(half, half - 0.05f, std::abs(du)) * SmoothStep(0.62f, 0.6f, v);
            if (v < arch) {
                const float dv = (arch - v) / 0.07f, dx = du / half;
                inside *= SmoothStep(1.f, 0.8f, std::sqrt(dx * dx + dv * dv));
            }
            const float side = 0.5f + 0.5f * std::cos((k + 0.5f) / 6.f * 2 * kPi);   // 1 amber .. 0 cyan
            const Rgb glass = side > 0.5f ? Mix(Hex(0xE07898), Hex(0xF0B060), (side - 0.5f) * 2.f)
                                          : Mix(Hex(0x60C8E0), Hex(0xE07898), side * 2.f);
            const Rgb lit = Mix(glass, Hex(0xF0E8D0), 0.25f * SmoothStep(0.6f, 0.4f, v));
            const float halo =
                SmoothStep(half + 0.3f, half, std::abs(du)) * SmoothStep(0.3f, 0.4f, v) * SmoothStep(0.68f, 0.6f, v);
            col = Mix(col + glass * (0.18f * halo), lit, inside);
        } else {   // floor
            const float ringV = 0.5f + 0.5f * std::cos((v - 0.68f) / 0.32f * kPi * 5.f);
            col = Mix(Hex(0x2A1C38), Hex(0x46305A), ringV * (0.7f + 0.3f * noise));
            col = Mix(col, Hex(0x40B0B0), SmoothStep(0.9f, 0.97f, v));   // medallion
        }
        return col;
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// >> tunnel

// Wall panels: u across a wall face (x, one panel per 128 px), v along the
// depth (y, one repeat per 70 units, which stream past at flight speed).
// Detail that changes along v strobes at that speed, so along v everything
// is soft: plate joins are broad shaded dips and the lamps long glows;
// sharp detail runs only along the depth: grooves, the plate edges across,
// and a cyan light strip down the middle of each plate.
std::vector<uint8_t> GenTunnelPicture() {
    Canvas c(256, 256);
    Paint(c, 3, [&](float x, float y) {
        const float grime = TiledFbm(x / 32.f, y / 32.f, 8, 4, 81);
        const float px = Fract(x / 128.f) * 128.f, py = Fract(y / 128.f) * 128.f;
        Rgb col = Mix(Hex(0x24344E), Hex(0x4E6A90), grime);
        // Edges of the plate across the face: a lit and a shaded bevel.
        const float ex = std::min(px, 128.f - px);
        const float bevel = SmoothStep(6.f, 2.f, ex);
        col = col * (1.f + (px < 64.f ? 0.5f : -0.45f) * bevel);
        col = col * (1.f - SmoothStep(1.5f, 0.3f, ex) * 0.7f);
        // Grooves along the depth.
        col = col * (0.9f + 0.1f * std::cos(px / 128.f * 2 * kPi * 8.f));
        // Joins between plates along the depth: a broad soft dip.
        const float ey = std::min(py, 128.f - py);
        col = col * (0.65f + 0.35f * SmoothStep(0.f, 24.f, ey));
        // Light strip down the middle of each plate.
        const float strip = std::abs(px - 64.f);
        col = Mix(col, Hex(0x102028), SmoothStep(10.f, 8.f, strip));
        col = col + Hex(0x40E8FF) * (SmoothStep(4.f, 1.5f, strip) * 1.0f + std::exp(-strip / 4.f) * 0.3f);
        // Warm lamps on alternate plates: long soft glows beside the strip.
        if ((int(x / 128.f) + int(y / 128.f)) % 2 == 0) {
            const float dx = (px - 30.f) / 6.f, dy = (py - 64.f) / 36.f;
            col = col + Hex(0xFF9030) * (std::exp(-(dx * dx + dy * dy)) * 0.8f);
        }
        return col;
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// Dark brushed metal, streaked along the depth (v), with soft plate joins.
std::vector<uint8_t> GenDarkGrayPicture() {
    Canvas c(128, 128);
    Paint(c, 2, [&](float x, float y) {
        const float brush =
            TiledNoise(x / 2.f, y / 16.f, 64, 8, 91) * 0.6f + TiledNoise(x / 1.f, y / 32.f, 128, 4, 92) * 0.4f;
        const float blot = TiledFbm(x / 32.f, y / 32.f, 4, 3, 93);
        float g = 0.22f + 0.12f * brush + 0.12f * blot;
        const float seam = LineDistance(x, 64.f);
        g *= 1.f - SmoothStep(1.5f, 0.2f, seam) * 0.6f;
        g *= 0.7f + 0.3f * SmoothStep(0.f, 16.f, LineDistance(y, 64.f));
        return Rgb{g * 0.95f, g, g * 1.08f};
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// >> sieni

// Mushroom texture, u around the y axis. Rows: v 0 to 0.45 the cap from apex
// to rim, 0.45 to 0.62 the gills under the cap, 0.62 to 0.8 the stem, 0.82
// the glow added over cap and stem, 0.845 to 0.885 the ground (middle to
// edge) and 0.902 to 0.928 its underside, 0.94 to 0.985 the back-lit shell (apex to sole), the light that shows
// through a copy seen from its dark side. The field is seen only by a
// dimming light, and where a copy is seen through its shell, body and glow
// the light adds up three times; so every part is warm and mid-bright, well
// below white: a golden cap warming to orange at the apex, with cream warts
// and a pale rim, cream gills, a pale stem with fibres and a skirt ring, a
// faint cream glow, moss-green ground fading out toward its edge,
// and behind them a warm glow with the gills' stripes.
std::vector<uint8_t> GenSieniPicture() {
    Canvas c(256, 256);
    Paint(c, 3, [&](float x, float y) {
        const float v = y / 256.f;
        if (v < 0.45f) {
            const float t = v / 0.45f;
            Rgb col = Mix(Hex(0xE0A050), Hex(0xE8D0A0), std::pow(t, 0.7f));
            col = col * (0.88f + 0.24f * TiledFbm(x / 32.f, y / 32.f, 8, 3, 101));
            col = Mix(col, Hex(0xE8D8B8), SmoothStep(0.85f, 1.f, t) * 0.6f);   // pale rim
            // Warts: grid of jittered spots, wider toward the rim so they look round on the cap.
            const float cols = 12.f;
            for (int dj = -1; dj <= 1; ++dj)
                for (int di = -1; di <= 1; ++di) {
                    const int j = int(std::floor(y / 24.f)) + dj;
                    const int i = int(std::floor(x / (256.f / cols))) + di;
                    const uint32_t ii = uint32_t((i % 12 + 12) % 12);
                    const float sx = (float(i) + 0.2f + 0.6f * Hash01(ii, uint32_t(j), 102)) * (256.f / cols);
                    const float sy = (float(j) + 0.2f + 0.6f * Hash01(ii, uint32_t(j), 103)) * 24.f;
                    if (sy > 0.42f * 256.f || sy < 12.f) continue;
                    const float stretch = 0.35f + 0.65f * (sy / (0.45f * 256.f));
                    const float d = std::hypot((x - sx) * stretch * 1.6f, y - sy);
                    const float rad = 3.5f + 2.5f * Hash01(ii, uint32_t(j), 104);
                    col = Mix(col, Hex(0xF0E4CC), SmoothStep(rad, rad - 1.2f, d));
                }
            return col * 0.66f;
        }
        if (v < 0.62f) {
            const float t = (v - 0.45f) / 0.17f;
            const float gill = 0.5f + 0.5f * std::cos(x / 256.f * 2 * kPi * 48.f);
            Rgb col = Mix(Hex(0xE8D4B0), Hex(0xB89870), gill * 0.6f);
            return col * ((0.8f + 0.2f * t) * 0.75f);
        }
        if (v >= 0.935f) {                                   // the back-lit shell
            const float t = Clamp01((v - 0.94f) / 0.045f);   // apex to sole
            const float gill = 0.5f + 0.5f * std::cos(x / 256.f * 2 * kPi * 24.f);
            const Rgb cap = Mix(Hex(0xFFE0A0), Hex(0xE8A868), gill * 0.45f);
            return Mix(cap, Hex(0xFFF2D8), SmoothStep(0.55f, 0.7f, t)) * 0.65f;
        }
        if (v >= 0.835f) {   // the ground (0.845..0.885) and its underside (0.902..0.928), middle to edge
            const float t = v < 0.895f ? Clamp01((v - 0.845f) / 0.04f) : Clamp01((v - 0.902f) / 0.026f);
            const Rgb moss = v < 0.895f ? Mix(Hex(0xB0CC70), Hex(0x88B048), t) : Mix(Hex(0xE8E098), Hex(0xA8B060), t);
            return moss * SmoothStep(1.f, 0.45f, t);
        }
        if (v >= 0.8f) return Hex(0x4A4030);   // the glow
        const float t = (v - 0.62f) / 0.18f;
        const float fibre = TiledNoise(x / 2.f, y / 24.f, 128, 8, 105);
        Rgb col = Mix(Hex(0xF0E8D8), Hex(0xD8C8A8), fibre);
        col = col * (0.92f + 0.08f * TiledFbm(x / 32.f, y / 32.f, 8, 2, 106));
        const float ring = std::exp(-std::pow((t - 0.18f) / 0.04f, 2.f));
        col = Mix(col, Hex(0xFFF8F0), ring * 0.7f) * (1.f - 0.15f * SmoothStep(0.8f, 1.f, t));
        return col * 0.62f;
    });
    ClampCanvas(c);
    return EncodeJpeg(c, kJpegQuality);
}

// >> overlays (additive: black shows nothing)
//
// Three of them also strobe: drawn at a random grey of 128 to 255 in every
// frame over a moving scene, so what a flicker changes is the ink times up
// to half its brightness. Their ink stays soft (no texel above about 60 %),
// never red, and their shapes thin or small: each flash is a small step on
// a small part of the screen.

// "iwish.png": the words "i wish" in pale lavender shading to sky blue, a
// faint violet halo and a thin swash underline.
std::vector<uint8_t> GenIwishPicture() {
    Canvas c(256, 256);
    const Font bold(FontPath("DejaVuSans-Bold.ttf"));
    Paint(c, 4, [&](float x, float y) {   // swash under the words
        const float curve = 176.f + 10.f * std::sin((x - 20.f) / 236.f * kPi * 1.3f);
        const float thick = 2.5f * std::sin(Clamp01((x - 20.f) / 216.f) * kPi);
        const float d = std::abs(y - curve);
        const float swash = (x > 20.f && x < 236.f) ? SmoothStep(thick + 0.7f, thick - 0.7f, d) : 0.f;
        return Hex(0x70B0D0) * (swash * 0.45f);
    });
    AddText(
        c, bold, "i wish", 86.f, 128.f, 118.f,
        [](int, int y) { return Mix(Hex(0xB8A0E0), Hex(0x88C0E8), Clamp01((float(y) - 80.f) / 76.f)) * 0.72f; },
        Hex(0x5030A0), 5, 0.3f);
    LimitLuma(c, 0.6f);
    ClampCanvas(c);
    return EncodePng(c, 3);
}

// "skater.png": a small skateboarder mid-air in the picture's lower right
// corner (the lower right of the screen, out of the knot's way for most of
// its swing), drawn as soft cyan-to-lime strokes with a brighter outline,
// see-through at about a third of full light, and pink speed lines.
std::vector<uint8_t> GenSkaterPicture() {
    Canvas c(256, 256);
    struct Stroke {
        float ax, ay, bx, by, r;
    };
    // Figure leaning forward to the right, arms out, knees bent over the board
    // (drawn in a 256-unit frame, then shrunk into the corner).
    const Stroke body[] = {
        {140, 78, 124, 128, 13},     // torso
        {124, 128, 100, 150, 10},    // back thigh
        {100, 150, 106, 184, 8},     // back shin
        {124, 128, 150, 146, 10},    // front thigh
        {150, 146, 152, 180, 8},     // front shin
        {138, 88, 172, 76, 6.5f},    // front upper arm
        {172, 76, 198, 88, 5.5f},    // front forearm
        {134, 92, 106, 100, 6.5f},   // back upper arm
        {106, 100, 82, 86, 5.5f},    // back forearm
        {98, 186, 112, 186, 6},      // back foot
        {146, 182, 162, 182, 6},     // front foot
    };
    const float headX = 150, headY = 56, headR = 14;
    auto figure = [&](float x, float y) {
        float d = std::hypot(x - headX, y - headY) - headR;
        for (const Stroke& s : body) d = std::min(d, SegmentDistance(x, y, s.ax, s.ay, s.bx, s.by) - s.r);
        // Board, tilted, with its kicked-up tail, and wheels.
        const float board =
            std::min(SegmentDistance(x, y, 84, 196, 176, 190) - 4.5f, SegmentDistance(x, y, 176, 190, 190, 180) - 4.5f);
        d = std::min(d, board);
        d = std::min(d, std::hypot(x - 104, y - 205) - 6.5f);
        d = std::min(d, std::hypot(x - 160, y - 200) - 6.5f);
        return d;
    };
    constexpr float k = 0.42f, ox = 166.f, oy = 160.f;   // figure frame to picture: p = f * k + o
    Paint(c, 4, [&](float px, float py) {
        const float x = (px - ox) / k, y = (py - oy) / k;
        const float d = figure(x, y) * k;   // in picture pixels
        const float t = Clamp01((y - 40.f) / 170.f);
        Rgb col = Mix(Hex(0x30E8FF), Hex(0xB0FF30), t) * (SmoothStep(0.5f, -0.5f, d) * 0.3f);
        col = col + Hex(0xD0FFF0) * (SmoothStep(-1.6f, -0.6f, d) * SmoothStep(0.6f, -0.2f, d) * 0.55f);
        // Speed lines trailing to the left.
        const float lines[4] = {70, 108, 146, 176};
        for (int i = 0; i < 4; ++i) {
            const float len = 60.f - 8.f * float(i);
            const float x1 = 70.f - float(i % 2) * 12.f, x0 = x1 - len;
            const float ld = SegmentDistance(x, y, x0, lines[i], x1, lines[i]) * k - 0.8f;
            col = col + Hex(0xE070C8) * (SmoothStep(0.5f, -0.5f, ld) * Clamp01((x - x0) / len) * 0.45f);
        }
        return col;
    });
    LimitLuma(c, 0.6f);
    ClampCanvas(c);
    return EncodePng(c, 3);
}

// "bitch.png": an abstract sign over the dark end of the tunnel: a disc of
// thin amber and gold rings cut by a dark diagonal, a thin cyan triangle
// crossing it and short violet rays, all in outline at half light or less.
std::vector<uint8_t> GenBitchPicture() {
    Canvas c(256, 256);
    Paint(c, 4, [&](float x, float y) {
        const float dx = x - 118.f, dy = y - 124.f;
        const float r = std::hypot(dx, dy);
        const float a = std::atan2(dy, dx);
        Rgb col;
        // Rays round the disc.
        const float ray = std::cos(a * 16.f);
        col = col + Hex(0x9060D0) *
                        (SmoothStep(0.8f, 0.95f, ray) * SmoothStep(84.f, 90.f, r) * SmoothStep(118.f, 96.f, r) * 0.4f);
        // Rings: six thin circles, amber to gold outward.
        if (r < 86.f) {
            const float ringD = LineDistance(r, 14.f);
            const Rgb tint = Mix(Hex(0xF0A040), Hex(0xF0D070), r / 86.f);
            col = col + tint * (SmoothStep(2.2f, 1.f, ringD) * 0.5f);
        }
        col = col + Hex(0xF0E0C0) * (SmoothStep(2.f, 0.8f, std::abs(r - 86.f)) * 0.45f);
        // Dark diagonal through the disc, edged with a thin light line.
        const float bar = std::abs((x - 128.f) * 0.7071f - (y - 128.f) * 0.7071f);
        if (bar < 11.f) col = col * 0.f;
        col = col + Hex(0xE0E0E0) * (SmoothStep(1.2f, 0.f, std::abs(bar - 11.f)) * SmoothStep(90.f, 80.f, r) * 0.35f);
        // Triangle outline crossing the disc.
        const float tri[3][2] = {{60, 228}, {236, 196}, {170, 28}};
        float td = 1e9f;
        for (int i = 0; i < 3; ++i) {
            const int j = (i + 1) % 3;
            td = std::min(td, SegmentDistance(x, y, tri[i][0], tri[i][1], tri[j][0], tri[j][1]));
        }
        col =
            col + Hex(0x60D8F0) * (SmoothStep(2.5f, 1.2f, td) * 0.55f) + Hex(0x2080C0) * (std::exp(-td / 5.f) * 0.15f);
        return col;
    });
    LimitLuma(c, 0.6f);
    ClampCanvas(c);
    return EncodePng(c, 3);
}

// "cre.png": the credits. The group name large, the demo's name, and who
// made what. The picture is added over the moving grid and faded out, so
// its ink is as bright as it can be: white letters, thickened by a pixel so
// that most of each stroke carries the full grey, with only a faint
// coloured halo (a dark outline would add nothing).
std::vector<uint8_t> GenCreditsPicture() {
    Canvas c(256, 256);
    const Font bold(FontPath("DejaVuSans-Bold.ttf"));
    const Font mono(FontPath("DejaVuSansMono-Bold.ttf"));
    Paint(c, 4, [&](float x, float y) {   // rule between the title and the credits
        const float d = SegmentDistance(x, y, 40, 156, 216, 156);
        return Hex(0xFFF4C8) * SmoothStep(1.6f, 0.6f, d);
    });
    AddText(
        c, bold, "teq", 100.f, 128.f, 62.f,
        [](int, int y) { return Mix(Hex(0xFFFFFF), Hex(0xE8FAFF), Clamp01((float(y) - 30.f) / 70.f)); }, Hex(0x2060FF),
        5, 0.5f, 1);
    AddText(
        c, bold, "distortion", 36.f, 128.f, 132.f, [](int, int) { return Hex(0xFFF4FA); }, Hex(0xC02080), 3, 0.5f, 1);
    const char* lines[3] = {"code      teq", "graphics  teq", "music     teq"};
    for (int i = 0; i < 3; ++i)
        AddText(
            c, mono, lines[i], 26.f, 128.f, 180.f + 25.f * float(i), [](int, int) { return Hex(0xFFFFFF); },
            Hex(0x806000), 2, 0.3f, 1);
    ClampCanvas(c);
    return EncodePng(c, 3);
}

}   // namespace mkdata
