// The calm mode (--calm, ?calm, the C key): the same demo held towards no
// second of more than three flashes in any 10-degree field and no red flash,
// as flash.h measures them. The demo is not told: the engine shapes what it
// hands over.
//
// - The music level the demo reads (GetSoundLevel) follows the music through
//   an envelope with a set attack and release and may swing at most
//   kLevelSwing within any third of a second, so pictures lit by the level
//   ramp instead of strobing and the tunnel's walls still brighten on the kicks.
// - The finished picture goes through a governor that measures it as flash.h
//   does, cell by cell and field by field. A field may make a few transitions
//   a second (kFieldBudget, under the limit of six); a change of the picture
//   that would make one more is held back in the cells that carry it: they
//   show the new picture darker or brighter (or, where it is black, mixed
//   with the previous one), just short of a transition, until the field's
//   span has room again. Red cells get no room for a second transition
//   within a second.
//
// Time going back or jumping by more than half a second (a seek, a new bench
// pass, a shot) starts both afresh from the frame at hand.
#pragma once

#include <cstdint>
#include <vector>

#include "calm/flash.h"

namespace qor::calm {

inline constexpr double kLevelAttack = 0.02;    // s, time constant of a rising level
inline constexpr double kLevelRelease = 0.12;   // s, of a falling one
inline constexpr double kLevelSwing = 0.12;     // most a level moves in a third of a second
inline constexpr int kFieldBudget = 4;          // general transitions a field may make in a second
inline constexpr int kRedBudget = 1;            // red transitions a field may make in a second

// The music level as the demo sees it in calm mode.
class LevelShaper {
public:
    // The shaped level of the frame at t (s) for the measured `level`.
    float Shape(double t, float level);
    void Reset() { started_ = false; }

private:
    bool started_ = false;
    double t_ = 0;
    double envelope_ = 0, out_ = 0;
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

// The run's calm mode: on or off, and its two stages.
bool On();
void SetOn(bool on);   // switching on starts afresh
float Level(double t, float level);
const uint32_t* Picture(double t, const uint32_t* argb, int width, int height);

}   // namespace qor::calm
