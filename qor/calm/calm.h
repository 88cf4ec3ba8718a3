// The calm mode (--calm, ?calm, the C key): the same demo held towards no
// second of more than three flashes in any 10-degree field and no red flash,
// as flash.h measures them. The demo is not told: the engine shapes what it
// hands over.
//
// - The music level the demo reads (GetSoundLevel) and the colours of the
//   pictures drawn in screen space (the overlays' grey) go through a Shaper:
//   an envelope with a set attack and release, a bound on how far the value
//   may swing within any third of a second, and a budget of turns. A value
//   that lights a picture changes the picture's brightness the same way round,
//   so each transition a field can make is a turn of some value: the shapers
//   share one budget of kTurns turns a second between them, and a turn beyond
//   it is held (the value stays where it is) until the budget has room. The
//   attack is fast, so the walls still brighten on the kick.
// - The finished picture goes through a governor that measures it as flash.h
//   does, cell by cell and field by field, and catches what the shapers do
//   not (motion, cuts): a field may make a few transitions a second
//   (kFieldBudget, under the limit of six); a change of the picture that
//   would make one more is held back in the cells that carry it: they show
//   the new picture darker or brighter (or, where it is black, mixed with the
//   previous one), just short of a transition, until the field's span has
//   room again. Red cells get no room for a second transition within a second.
//
// Time going back or jumping by more than half a second (a seek, a new bench
// pass, a shot) starts both afresh from the frame at hand.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "calm/flash.h"

namespace qor::calm {

inline constexpr int kTurns = 5;         // turns of the shaped values a second, all together
inline constexpr int kFieldBudget = 5;   // general transitions a field may make in a second
inline constexpr int kRedBudget = 1;     // red transitions a field may make in a second

// How a Shaper follows its input.
struct ShapeSettings {
    double attack;       // s, time constant of the envelope rising
    double release;      // s, of it falling
    double swing;        // most the output moves within any third of a second
    double hysteresis;   // a turn of the output needs the envelope this far back
};
inline constexpr ShapeSettings kLevelShape{0.003, 0.02, 0.3, 0.05};   // the music level
inline constexpr ShapeSettings kColourShape{0.04, 0.2, 0.2, 0.05};    // a screen picture's colour, 0..1

// The turns (changes of direction) of shaped values in the last second.
class Turns {
public:
    explicit Turns(int perSecond = kTurns) : perSecond_(perSecond) {}
    bool Allowed(double t);   // one more turn at t stays within the budget
    void Take(double t) { times_.push_back(t); }
    void Reset() { times_.clear(); }

private:
    int perSecond_;
    std::deque<double> times_;
};

// A value as the calm mode hands it on.
class Shaper {
public:
    // `turns` is shared with other shapers, or the shaper's own when null.
    explicit Shaper(const ShapeSettings& settings, Turns* turns = nullptr)
        : settings_(settings), turns_(turns ? turns : &own_) {}
    Shaper(const Shaper&) = delete;
    Shaper& operator=(const Shaper&) = delete;
    // The shaped value of the frame at t (s) for the input `in` (a second
    // call for the same t gives the first one's value).
    float Shape(double t, float in);
    void Reset() { started_ = false; }

private:
    ShapeSettings settings_;
    Turns own_;
    Turns* turns_;
    bool started_ = false;
    double t_ = 0;
    double envelope_ = 0, out_ = 0;
    int dir_ = 0;                                    // +1 rising, -1 falling, 0 not yet moved
    std::deque<std::pair<double, double>> recent_;   // (t, output) of the last third of a second
};

// Holds back the changes of a picture that would flash too often.
class PictureGovernor {
public:
    PictureGovernor();
    // The picture to show for the frame at t: argb itself when nothing is held
    // back, else the governor's own copy (valid until the next call).
    const uint32_t* Apply(double t, const uint32_t* argb, int width, int height);
    void Reset() { started_ = false; }
    int HeldCells() const { return held_; }   // cells held back in the last frame

private:
    void Start(double t, const uint32_t* argb, int width, int height);
    // The cells to hold back for the picture measured in `a`.
    void PlanHolds(double t, const flash::Areas& a, std::vector<uint8_t>& holdLum, std::vector<uint8_t>& holdRed);
    void SetGains(const std::vector<uint8_t>& holdLum, const std::vector<uint8_t>& holdRed);
    void HoldFurther(const std::vector<uint8_t>& holdLum, const std::vector<uint8_t>& holdRed);
    void CommitShown(double t);
    void Compose(const uint32_t* argb);

    flash::Limits limits_;
    bool started_ = false;
    double t_ = 0;
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> shown_, next_;   // the last picture shown, the one being made
    flash::Areas in_, out_, trial_;
    std::vector<flash::Swing> lum_, red_;
    std::vector<int8_t> lumMoves_, redMoves_, lumFields_, redFields_;
    std::vector<float> gain_;   // per cell, on the new picture's linear light
    std::vector<float> mix_;    // per cell, 0 (the last picture) .. 1 (the new one)
    flash::FieldCounter general_, reds_;
    int held_ = 0;
};

// The run's calm mode: on or off, and its stages, called in this order each frame.
bool On();
void SetOn(bool on);                  // switching on starts afresh
float Level(double t, float level);   // also starts the frame at t for Colour
// The colour (0xAARRGGBB; alpha kept) of a screen picture of one colour drawn
// with `key` (its texture) in this frame: its brightest channel shaped, hue kept.
uint32_t Colour(const void* key, uint32_t argb);
const uint32_t* Picture(double t, const uint32_t* argb, int width, int height);

}   // namespace qor::calm
