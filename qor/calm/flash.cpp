#include "calm/flash.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qor::flash {

namespace {

const std::array<float, 256>& LinearTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[i] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

// Gaussian of one cell's size (sigma 1), taps -3..3, edges repeated.
constexpr float kTaps[4] = {0.39905f, 0.24203f, 0.05400f, 0.00443f};

void Smooth(std::vector<float>& v, std::vector<float>& scratch) {
    scratch.resize(v.size());
    for (int y = 0; y < kGridY; ++y)
        for (int x = 0; x < kGridX; ++x) {
            float s = kTaps[0] * v[y * kGridX + x];
            for (int k = 1; k <= 3; ++k)
                s += kTaps[k] * (v[y * kGridX + std::max(x - k, 0)] + v[y * kGridX + std::min(x + k, kGridX - 1)]);
            scratch[y * kGridX + x] = s;
        }
    for (int y = 0; y < kGridY; ++y)
        for (int x = 0; x < kGridX; ++x) {
            float s = kTaps[0] * scratch[y * kGridX + x];
            for (int k = 1; k <= 3; ++k)
                s += kTaps[k] *
                     (scratch[std::max(y - k, 0) * kGridX + x] + scratch[std::min(y + k, kGridY - 1) * kGridX + x]);
            v[y * kGridX + x] = s;
        }
}

}   // namespace

float Linear(int channel) { return LinearTable()[channel & 255]; }

void Measure(const uint32_t* argb, int width, int height, Areas& out) {
    const std::array<float, 256>& lin = LinearTable();
    // Each pixel goes to the two cells whose centres are nearest, by its
    // distance to them (a tent filter): cells of uneven whole pixel counts
    // would beat against fine texture.
    struct Tap {
        int cell;
        float weight;   // of `cell`; 1 - weight goes to the next cell
    };
    auto taps = [](int n, int cells) {
        std::vector<Tap> t(n);
        for (int i = 0; i < n; ++i) {
            const float u = std::clamp((i + 0.5f) * cells / n - 0.5f, 0.0f, cells - 1.0f);
            const int c = std::min(int(u), cells - 2);
            t[i] = {c, 1.0f - (u - c)};
        }
        return t;
    };
    const std::vector<Tap> columns = taps(width, kGridX), rows = taps(height, kGridY);
    std::vector<float> r(kCells, 0.0f), g(kCells, 0.0f), b(kCells, 0.0f), weight(kCells, 0.0f), scratch;
    std::vector<float> rowR(kGridX), rowG(kGridX), rowB(kGridX), rowW(kGridX);
    for (int y = 0; y < height; ++y) {
        std::fill(rowR.begin(), rowR.end(), 0.0f);
        std::fill(rowG.begin(), rowG.end(), 0.0f);
        std::fill(rowB.begin(), rowB.end(), 0.0f);
        std::fill(rowW.begin(), rowW.end(), 0.0f);
        const uint32_t* p = argb + int64_t(y) * width;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = p[x];
            const float cr = lin[(c >> 16) & 255], cg = lin[(c >> 8) & 255], cb = lin[c & 255];
            const Tap t = columns[x];
            const float w1 = 1.0f - t.weight;
            rowR[t.cell] += t.weight * cr, rowR[t.cell + 1] += w1 * cr;
            rowG[t.cell] += t.weight * cg, rowG[t.cell + 1] += w1 * cg;
            rowB[t.cell] += t.weight * cb, rowB[t.cell + 1] += w1 * cb;
            rowW[t.cell] += t.weight, rowW[t.cell + 1] += w1;
        }
        const Tap t = rows[y];
        for (int k = 0; k < 2; ++k) {
            const float w = k ? 1.0f - t.weight : t.weight;
            float* dr = &r[(t.cell + k) * kGridX];
            float* dg = &g[(t.cell + k) * kGridX];
            float* db = &b[(t.cell + k) * kGridX];
            float* dw = &weight[(t.cell + k) * kGridX];
            for (int i = 0; i < kGridX; ++i)
                dr[i] += w * rowR[i], dg[i] += w * rowG[i], db[i] += w * rowB[i], dw[i] += w * rowW[i];
        }
    }
    for (int c = 0; c < kCells; ++c) {
        const float n = std::max(weight[c], 1e-6f);
        r[c] /= n, g[c] /= n, b[c] /= n;
    }
    Smooth(r, scratch);
    Smooth(g, scratch);
    Smooth(b, scratch);
    out.lum.resize(kCells);
    out.red.resize(kCells);
    out.saturated.resize(kCells);
    for (int c = 0; c < kCells; ++c) {
        out.lum[c] = 0.2126f * r[c] + 0.7152f * g[c] + 0.0722f * b[c];
        out.red[c] = 320.0f * std::max(0.0f, r[c] - g[c] - b[c]);
        const float sum = r[c] + g[c] + b[c];
        out.saturated[c] = sum > 1e-6f && r[c] >= 0.8f * sum;
    }
}

int StepSwing(Swing& s, float v, bool red, float threshold, bool general, const Limits& limits) {
    if (!s.started) {
        s = Swing{};
        s.anchor = s.extreme = v;
        s.anchorRed = s.extremeRed = red;
        s.started = true;
        return 0;
    }
    if (s.dir == 0) {
        if (v == s.anchor) return 0;
        s.dir = v > s.anchor ? 1 : -1;
        s.extreme = v;
        s.extremeRed = red;
    } else if ((v - s.extreme) * s.dir >= 0) {
        s.extreme = v;   // on the way
        s.extremeRed = red;
    } else if ((s.extreme - v) * s.dir >= threshold) {
        // A turn: the extreme becomes the anchor of a swing the other way.
        s.anchor = s.extreme;
        s.anchorRed = s.extremeRed;
        s.dir = int8_t(-s.dir);
        s.extreme = v;
        s.extremeRed = red;
        s.counted = false;
    }
    if (s.counted || std::fabs(s.extreme - s.anchor) < threshold) return 0;
    const bool qualifies = general ? std::min(s.anchor, s.extreme) < limits.dark : (s.anchorRed || s.extremeRed);
    if (!qualifies) return 0;
    s.counted = true;
    return s.dir;
}

void FreeBand(const Swing& s, float threshold, float& low, float& high) {
    if (!s.started) {
        low = -1e30f, high = 1e30f;
        return;
    }
    // While the swing has not counted, it may go up to just under the
    // threshold from its anchor either way (a turn the other way starts
    // again from the extreme, so that bound is kept too).
    low = std::max(s.anchor, s.extreme) - threshold;
    high = std::min(s.anchor, s.extreme) + threshold;
    if (s.counted) {
        // Counted already: on the same way freely, back by less than a turn.
        if (s.dir > 0) low = s.extreme - threshold, high = 1e30f;
        if (s.dir < 0) high = s.extreme + threshold, low = -1e30f;
    }
}

FieldCounter::FieldCounter(const Limits& limits) : limits_(limits) { Reset(); }

void FieldCounter::Reset() {
    cellTime_.assign(kCells, -1e300);
    cellDir_.assign(kCells, 0);
    recent_.clear();
    fields_.assign(kPositions, Field{});
    worst_ = 0;
}

void FieldCounter::BuildTables(double t, const std::vector<int8_t>& moves) {
    // Frame times within `together` of t, t first.
    std::vector<double> times = {t};
    for (double r : recent_)
        if (r < t && r > t - limits_.together + 1e-9) times.push_back(r);
    const size_t n = times.size();
    up_.resize(n);
    down_.resize(n);
    constexpr int W = kGridX + 1;
    for (size_t k = 0; k < n; ++k) {
        std::vector<int>& u = up_[k];
        std::vector<int>& d = down_[k];
        u.assign(W * (kGridY + 1), 0);
        d.assign(W * (kGridY + 1), 0);
        for (int y = 0; y < kGridY; ++y) {
            int rowU = 0, rowD = 0;
            for (int x = 0; x < kGridX; ++x) {
                const int c = y * kGridX + x;
                const bool now = moves[c] != 0;
                const double when = now ? t : cellTime_[c];
                const int dir = now ? moves[c] : cellDir_[c];
                if (when >= times[k]) rowU += dir > 0, rowD += dir < 0;
                u[(y + 1) * W + x + 1] = u[y * W + x + 1] + rowU;
                d[(y + 1) * W + x + 1] = d[y * W + x + 1] + rowD;
            }
        }
    }
    recent_ = times;   // Commit keeps them; Plan's are made again at Commit
}

int8_t FieldCounter::FieldMove(int field) const {
    const Field& f = fields_[field];
    // The oldest frame time that is newer than the field's last transition.
    int k = -1;
    for (size_t i = 0; i < recent_.size() && recent_[i] > f.last; ++i) k = int(i);
    if (k < 0) return 0;
    constexpr int W = kGridX + 1;
    const int x0 = field % kPositionsX, y0 = field / kPositionsX, x1 = x0 + kFieldX, y1 = y0 + kFieldY;
    auto sum = [&](const std::vector<int>& s) {
        return s[y1 * W + x1] - s[y0 * W + x1] - s[y1 * W + x0] + s[y0 * W + x0];
    };
    const int need = int(std::ceil(limits_.area * kFieldX * kFieldY - 1e-9));
    const int up = sum(up_[k]), down = sum(down_[k]);
    const bool canUp = up >= need && f.dir != 1, canDown = down >= need && f.dir != -1;
    if (canUp && canDown) return up >= down ? 1 : -1;
    return canUp ? 1 : canDown ? -1 : 0;
}

void FieldCounter::Plan(double t, const std::vector<int8_t>& moves, std::vector<int8_t>& fieldMoves) {
    const std::vector<double> kept = recent_;
    BuildTables(t, moves);
    fieldMoves.resize(kPositions);
    for (int f = 0; f < kPositions; ++f) fieldMoves[f] = FieldMove(f);
    recent_ = kept;
}

int FieldCounter::CountBefore(int field, double t) const {
    int n = 0;
    for (double when : fields_[field].times) n += when > t - limits_.span + 1e-9 && when <= t;
    return n;
}

int FieldCounter::Commit(double t, const std::vector<int8_t>& moves) {
    // Time going back (a seek, a new pass): start afresh.
    if (!recent_.empty() && t <= recent_.front()) Reset();
    BuildTables(t, moves);
    worst_ = 0;
    int most = 0;
    for (int i = 0; i < kPositions; ++i) {
        Field& f = fields_[i];
        const int8_t dir = FieldMove(i);
        if (dir) {
            f.last = t;
            f.dir = dir;
            f.times.push_back(t);
        }
        while (!f.times.empty() && f.times.front() <= t - limits_.span + 1e-9) f.times.pop_front();
        if (int(f.times.size()) > most) most = int(f.times.size()), worst_ = i;
    }
    for (int c = 0; c < kCells; ++c)
        if (moves[c]) cellTime_[c] = t, cellDir_[c] = moves[c];
    return most;
}

Analyser::Analyser(const Limits& limits)
    : limits_(limits),
      lum_(kCells),
      red_(kCells),
      lumMoves_(kCells),
      redMoves_(kCells),
      general_(limits),
      redFields_(limits) {}

Analyser::Result Analyser::Feed(double t, const uint32_t* argb, int width, int height) {
    Measure(argb, width, height, areas_);
    for (int c = 0; c < kCells; ++c) {
        const bool sat = areas_.saturated[c];
        lumMoves_[c] = int8_t(StepSwing(lum_[c], areas_.lum[c], sat, float(limits_.general), true, limits_));
        redMoves_[c] = int8_t(StepSwing(red_[c], areas_.red[c], sat, float(limits_.red), false, limits_));
    }
    Result r;
    r.general = general_.Commit(t, lumMoves_);
    r.generalField = general_.WorstField();
    r.red = redFields_.Commit(t, redMoves_);
    return r;
}

}   // namespace qor::flash
