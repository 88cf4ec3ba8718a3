#include "calm/calm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

namespace qor::calm {

namespace {

constexpr double kJump = 0.5;   // s: time moving further than this starts afresh

// The governor measures more strictly than the limits it keeps (smaller
// changes, smaller areas, browner reds), so that a picture scaled or measured
// on another grid still keeps them.
flash::Limits GovernorLimits() {
    flash::Limits l;
    l.general = 0.08;
    l.dark = 0.85;
    l.red = 16.0;
    l.redShare = 0.75;
    l.area = 0.2;
    return l;
}
constexpr float kMargin = 0.2f;   // a held cell stays this share of the threshold inside its band

// Linear light 0..1 to an 8-bit sRGB channel, in 16384 steps.
const std::array<uint8_t, 16384>& SrgbTable() {
    static const std::array<uint8_t, 16384> table = [] {
        std::array<uint8_t, 16384> t{};
        for (int i = 0; i < 16384; ++i) {
            const double v = i / 16383.0;
            const double c = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
            t[i] = uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table;
}

constexpr float kMaxGain = 4.0f;   // a held cell is brightened at most this much

// Where a held cell's value may go: the input brought inside [low, high]
// shrunk by the margin (or no further from it than the last value shown).
float TargetFor(float prev, float in, float low, float high, float threshold) {
    const float m = kMargin * threshold;
    return std::clamp(in, std::min(low + m, prev), std::max(high - m, prev));
}

// The share of the new value a held cell may show: prev + a (in - prev)
// lands on the target.
float MixFor(float prev, float in, float target) {
    if (std::fabs(in - prev) < 1e-9f) return 1.0f;
    return std::clamp((target - prev) / (in - prev), 0.0f, 1.0f);
}

struct Calm {
    bool on = false;
    double t = 0;   // the frame being drawn
    Turns turns;
    Shaper level{kLevelShape, &turns};
    std::map<const void*, Shaper> colours;   // per texture
    PictureGovernor picture;
};
Calm& The() {
    static Calm calm;
    return calm;
}

}   // namespace

bool Turns::Allowed(double t) {
    while (!times_.empty() && (times_.front() > t || t - times_.front() >= 1.0)) times_.pop_front();
    return int(times_.size()) < perSecond_;
}

float Shaper::Shape(double t, float in) {
    if (!started_ || t < t_ || t - t_ > kJump) {
        started_ = true;
        t_ = t;
        envelope_ = out_ = in;
        dir_ = 0;
        recent_.assign(1, {t, out_});
        return in;
    }
    if (t == t_) return float(out_);   // again in the same frame: as shaped
    const double dt = t - t_;
    t_ = t;
    const double tau = in > envelope_ ? settings_.attack : settings_.release;
    envelope_ += (in - envelope_) * (1.0 - std::exp(-dt / tau));

    // Within a third of a second the output stays within `swing` of every
    // value it showed.
    while (t - recent_.front().first > 1.0 / 3) recent_.pop_front();
    double low = -1e30, high = 1e30;
    for (const auto& [when, v] : recent_)
        low = std::max(low, v - settings_.swing), high = std::min(high, v + settings_.swing);
    const double want = std::clamp(envelope_, low, high);

    // Onward it goes at once; back only a clear step and with a turn to spare.
    const int way = want > out_ ? 1 : want < out_ ? -1 : 0;
    if (way && (way == dir_ || (std::fabs(want - out_) >= settings_.hysteresis && turns_->Allowed(t)))) {
        if (way != dir_) turns_->Take(t);
        dir_ = way;
        out_ = want;
    }
    recent_.push_back({t, out_});
    return float(out_);
}

PictureGovernor::PictureGovernor()
    : limits_(GovernorLimits()),
      lum_(flash::kCells),
      red_(flash::kCells),
      lumMoves_(flash::kCells),
      redMoves_(flash::kCells),
      gain_(flash::kCells),
      mix_(flash::kCells),
      general_(GovernorLimits()),
      reds_(GovernorLimits()) {}

void PictureGovernor::Start(double t, const uint32_t* argb, int width, int height) {
    started_ = true;
    t_ = t;
    width_ = width;
    height_ = height;
    shown_.assign(argb, argb + size_t(width) * height);
    flash::Measure(argb, width, height, out_);
    for (int c = 0; c < flash::kCells; ++c) {
        lum_[c] = red_[c] = flash::Swing{};
        flash::StepSwing(lum_[c], out_.lum[c], out_.saturated[c], float(limits_.general), true, limits_);
        flash::StepSwing(red_[c], out_.red[c], out_.saturated[c], float(limits_.red), false, limits_);
    }
    general_.Reset();
    reds_.Reset();
    std::fill(lumMoves_.begin(), lumMoves_.end(), 0);
    general_.Commit(t, lumMoves_);
    reds_.Commit(t, lumMoves_);
    held_ = 0;
}

// A cell is held when a field over its budget that covers it would move
// its way: summed-area tables of those fields, one per direction.
static void HoldCells(const std::vector<int8_t>& fields, const flash::FieldCounter& counter, int budget, double t,
                      const std::vector<int8_t>& moves, std::vector<uint8_t>& held) {
    constexpr int PX = flash::FieldCounter::kPositionsX, PY = flash::FieldCounter::kPositionsY, S = PX + 1;
    std::vector<int> up(S * (PY + 1), 0), down(S * (PY + 1), 0);
    bool any = false;
    for (int y = 0; y < PY; ++y) {
        int rowUp = 0, rowDown = 0;
        for (int x = 0; x < PX; ++x) {
            const int f = y * PX + x;
            if (fields[f] && counter.CountBefore(f, t) + 1 > budget) {
                rowUp += fields[f] > 0, rowDown += fields[f] < 0;
                any = true;
            }
            up[(y + 1) * S + x + 1] = up[y * S + x + 1] + rowUp;
            down[(y + 1) * S + x + 1] = down[y * S + x + 1] + rowDown;
        }
    }
    if (!any) return;
    for (int y = 0; y < flash::kGridY; ++y)
        for (int x = 0; x < flash::kGridX; ++x) {
            const int8_t m = moves[y * flash::kGridX + x];
            if (!m) continue;
            // Fields whose corner lies in [x - 31, x] x [y - 23, y], on the grid.
            const int x0 = std::max(0, x - flash::kFieldX + 1), x1 = std::min(PX, x + 1);
            const int y0 = std::max(0, y - flash::kFieldY + 1), y1 = std::min(PY, y + 1);
            const std::vector<int>& sum = m > 0 ? up : down;
            if (sum[y1 * S + x1] - sum[y0 * S + x1] - sum[y1 * S + x0] + sum[y0 * S + x0] > 0)
                held[y * flash::kGridX + x] = 1;
        }
}

const uint32_t* PictureGovernor::Apply(double t, const uint32_t* argb, int width, int height) {
    if (width < flash::kGridX || height < flash::kGridY) return argb;
    if (!started_ || width != width_ || height != height_ || t <= t_ || t - t_ > kJump) {
        Start(t, argb, width, height);
        return argb;
    }
    t_ = t;

    // Fields over their budget: their cells that would carry the change are held.
    std::vector<uint8_t> holdLum(flash::kCells, 0), holdRed(flash::kCells, 0);
    flash::Measure(argb, width, height, in_);
    PlanHolds(t, in_, holdLum, holdRed);
    SetGains(holdLum, holdRed);

    // The picture as composed is measured again: where the gains shared
    // between neighbouring cells and the smoothing still let a field over its
    // budget move, the cells that carry it are held further, a few rounds;
    // after them, the last picture stays on for this frame.
    constexpr int kRounds = 4;
    const uint32_t* shown = argb;
    bool frozen = false;
    for (int round = 0;; ++round) {
        shown = argb;
        if (held_) {
            Compose(argb);
            shown = next_.data();
        }
        flash::Measure(shown, width, height, trial_);
        PlanHolds(t, trial_, holdLum, holdRed);
        const bool leaks = std::any_of(holdLum.begin(), holdLum.end(), [](uint8_t h) { return h; }) ||
                           std::any_of(holdRed.begin(), holdRed.end(), [](uint8_t h) { return h; });
        if (!leaks) break;
        if (round == kRounds) {
            frozen = true;
            break;
        }
        HoldFurther(holdLum, holdRed);
    }
    if (frozen) {
        shown = shown_.data();
        trial_ = out_;
    } else if (held_) {
        shown_.swap(next_);
        shown = shown_.data();
    } else {
        shown_.assign(argb, argb + size_t(width) * height);
    }
    CommitShown(t);
    return shown;
}

void PictureGovernor::PlanHolds(double t, const flash::Areas& a, std::vector<uint8_t>& holdLum,
                                std::vector<uint8_t>& holdRed) {
    const float gLimit = float(limits_.general), rLimit = float(limits_.red);
    for (int c = 0; c < flash::kCells; ++c) {
        flash::Swing l = lum_[c], r = red_[c];
        lumMoves_[c] = int8_t(flash::StepSwing(l, a.lum[c], a.saturated[c], gLimit, true, limits_));
        redMoves_[c] = int8_t(flash::StepSwing(r, a.red[c], a.saturated[c], rLimit, false, limits_));
    }
    general_.Plan(t, lumMoves_, lumFields_);
    reds_.Plan(t, redMoves_, redFields_);
    std::fill(holdLum.begin(), holdLum.end(), 0);
    std::fill(holdRed.begin(), holdRed.end(), 0);
    HoldCells(lumFields_, general_, kFieldBudget, t, lumMoves_, holdLum);
    HoldCells(redFields_, reds_, kRedBudget, t, redMoves_, holdRed);
}

// A held cell shows the new picture made darker or brighter (a gain, in
// linear light) where that reaches its target; else (the new picture black
// there, or far too dark) a mix with the last picture shown.
void PictureGovernor::SetGains(const std::vector<uint8_t>& holdLum, const std::vector<uint8_t>& holdRed) {
    const float gLimit = float(limits_.general), rLimit = float(limits_.red);
    held_ = 0;
    for (int c = 0; c < flash::kCells; ++c) {
        float gain = 1.0f, mix = 1.0f, low, high;
        bool mixed = false;
        auto reach = [&](float prev, float in, float target) {
            if (in > 1e-4f && target <= in * kMaxGain) {
                const float g = target / in;
                if (std::fabs(std::log(g)) > std::fabs(std::log(gain))) gain = g;
            } else {
                mixed = true;
                mix = std::min(mix, MixFor(prev, in, target));
            }
        };
        if (holdLum[c]) {
            flash::FreeBand(lum_[c], gLimit, low, high);
            reach(out_.lum[c], in_.lum[c], TargetFor(out_.lum[c], in_.lum[c], low, high, gLimit));
        }
        if (holdRed[c]) {
            flash::FreeBand(red_[c], rLimit, low, high);
            reach(out_.red[c], in_.red[c], TargetFor(out_.red[c], in_.red[c], low, high, rLimit));
        }
        if (mixed) gain = 1.0f;
        gain_[c] = gain;
        mix_[c] = mix;
        held_ += gain != 1.0f || mix < 1.0f;
    }
}

// The cells still carrying a field over its budget in the composed picture:
// their gain pulled further towards the target, or their mix halved.
void PictureGovernor::HoldFurther(const std::vector<uint8_t>& holdLum, const std::vector<uint8_t>& holdRed) {
    const float gLimit = float(limits_.general), rLimit = float(limits_.red);
    for (int c = 0; c < flash::kCells; ++c) {
        if (!holdLum[c] && !holdRed[c]) continue;
        float factor = 1.0f, low, high;
        auto pull = [&](float prev, float now, float limit, const flash::Swing& s) {
            flash::FreeBand(s, limit, low, high);
            const float target = TargetFor(prev, now, low, high, limit);
            const float f = now > 1e-4f ? target / now : 0.5f;
            if (std::fabs(std::log(std::max(f, 1e-3f))) > std::fabs(std::log(factor))) factor = std::max(f, 1e-3f);
        };
        if (holdLum[c]) pull(out_.lum[c], trial_.lum[c], gLimit, lum_[c]);
        if (holdRed[c]) pull(out_.red[c], trial_.red[c], rLimit, red_[c]);
        if (mix_[c] < 1.0f || gain_[c] * factor > kMaxGain)
            mix_[c] *= 0.5f;
        else
            gain_[c] *= factor;
        ++held_;
    }
}

// What is shown (measured in trial_) moves the swings and the fields' counts.
void PictureGovernor::CommitShown(double t) {
    const float gLimit = float(limits_.general), rLimit = float(limits_.red);
    out_.lum.swap(trial_.lum);
    out_.red.swap(trial_.red);
    out_.saturated.swap(trial_.saturated);
    for (int c = 0; c < flash::kCells; ++c) {
        lumMoves_[c] = int8_t(flash::StepSwing(lum_[c], out_.lum[c], out_.saturated[c], gLimit, true, limits_));
        redMoves_[c] = int8_t(flash::StepSwing(red_[c], out_.red[c], out_.saturated[c], rLimit, false, limits_));
    }
    general_.Commit(t, lumMoves_);
    reds_.Commit(t, redMoves_);
}

void PictureGovernor::Compose(const uint32_t* argb) {
    const std::array<uint8_t, 16384>& srgb = SrgbTable();
    next_.resize(size_t(width_) * height_);
    // The mix between cell centres, bilinear.
    std::vector<int> x0(width_);
    std::vector<float> fx(width_);
    for (int x = 0; x < width_; ++x) {
        const float c = std::clamp((x + 0.5f) * flash::kGridX / width_ - 0.5f, 0.0f, flash::kGridX - 1.0f);
        x0[x] = std::min(int(c), flash::kGridX - 2);
        fx[x] = c - x0[x];
    }
    for (int y = 0; y < height_; ++y) {
        const float cy = std::clamp((y + 0.5f) * flash::kGridY / height_ - 0.5f, 0.0f, flash::kGridY - 1.0f);
        const int y0 = std::min(int(cy), flash::kGridY - 2);
        const float fy = cy - y0;
        auto at = [&](const std::vector<float>& v, int x) {
            const float* top = &v[y0 * flash::kGridX];
            const float* bottom = top + flash::kGridX;
            const int i = x0[x];
            return (1 - fy) * (top[i] + fx[x] * (top[i + 1] - top[i])) +
                   fy * (bottom[i] + fx[x] * (bottom[i + 1] - bottom[i]));
        };
        const size_t row = size_t(y) * width_;
        for (int x = 0; x < width_; ++x) {
            const float a = at(mix_, x), g = at(gain_, x);
            const uint32_t in = argb[row + x], old = shown_[row + x];
            if ((a >= 0.999f || in == old) && std::fabs(g - 1.0f) < 0.001f) {
                next_[row + x] = in;
                continue;
            }
            uint32_t out = in & 0xFF000000u;
            for (int shift = 0; shift <= 16; shift += 8) {
                const float p = flash::Linear(int(old >> shift) & 255), n = g * flash::Linear(int(in >> shift) & 255);
                const float v = std::clamp(p + a * (n - p), 0.0f, 1.0f);
                out |= uint32_t(srgb[size_t(v * 16383.0f + 0.5f)]) << shift;
            }
            next_[row + x] = out;
        }
    }
}

bool On() { return The().on; }

void SetOn(bool on) {
    Calm& calm = The();
    if (on && !calm.on) {
        calm.turns.Reset();
        calm.level.Reset();
        calm.colours.clear();
        calm.picture.Reset();
    }
    calm.on = on;
}

float Level(double t, float level) {
    The().t = t;
    return The().level.Shape(t, level);
}

uint32_t Colour(const void* key, uint32_t argb) {
    Calm& calm = The();
    const int r = int(argb >> 16) & 255, g = int(argb >> 8) & 255, b = int(argb) & 255;
    const int top = std::max({r, g, b});
    Shaper& shaper = calm.colours.try_emplace(key, kColourShape, &calm.turns).first->second;
    const float shaped = shaper.Shape(calm.t, float(top) / 255.0f) * 255.0f;
    auto scaled = [&](int c) {
        const float v = top > 0 ? float(c) * shaped / float(top) : shaped;
        return uint32_t(std::clamp(int(std::lround(v)), 0, 255));
    };
    return (argb & 0xFF000000u) | scaled(r) << 16 | scaled(g) << 8 | scaled(b);
}

const uint32_t* Picture(double t, const uint32_t* argb, int width, int height) {
    return The().picture.Apply(t, argb, width, height);
}

}   // namespace qor::calm
