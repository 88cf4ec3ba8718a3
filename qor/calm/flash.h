// Flashes as the web's accessibility rule (WCAG 2.3.1) and the broadcast
// guideline behind it (ITU-R BT.1702) define them, measured on frames as they
// are shown. The calm mode (calm.h) keeps its own output under the limits with
// this measure, and teq-flash (tools/flash) reports it for whole renders.
//
// Brightness is relative luminance: the sRGB channels made linear, then
// 0.2126 R + 0.7152 G + 0.0722 B (0..1). A general transition is a change of
// at least 0.1 of it where the darker state is below 0.8; a red transition a
// change of at least 20 in 320 * max(0, R - G - B) (linear channels) where
// either state is a saturated red, R / (R + G + B) >= 0.8. A flash is a pair
// of opposing transitions.
//
// Areas: a 10-degree field is a 341x256 rectangle of the 1024x768 reference
// screen, scaled to the frame (a third of its width and height). The frame is
// cut into a grid of 96x72 cells (so a field is 32x24 cells at any size) and
// each cell's brightness is its mean, smoothed with a Gaussian of one cell's
// size: fine texture that moves keeps a cell's brightness, so it is no flash.
// A cell's brightness makes a transition when it has swung far enough from its
// last turning point (a turn is a reversal of at least the threshold: a ramp
// over several frames counts once, and so do small wobbles on the way). A
// field makes a transition when at least a quarter of its cells made one in
// the same direction within 50 ms, since the field's last one; the counts are
// taken over every one-second span, for every field position on the grid.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace qor::flash {

inline constexpr int kGridX = 96, kGridY = 72;     // cells of the frame
inline constexpr int kFieldX = 32, kFieldY = 24;   // cells of a 10-degree field
inline constexpr int kCells = kGridX * kGridY;

struct Limits {
    double general = 0.1;     // relative luminance change of a general transition
    double dark = 0.8;        // ... whose darker state is below this
    double red = 20.0;        // change of 320 * max(0, R - G - B) of a red transition
    double redShare = 0.8;    // R / (R + G + B) of a saturated red
    double area = 0.25;       // share of a field's cells that must change together
    double together = 0.05;   // s: transitions of cells this close count as one change
    double span = 1.0;        // s: flashes are counted over spans this long
};

// What a frame shows per cell, smoothed: relative luminance, the red value
// 320 * max(0, R - G - B), and whether the cell is a saturated red.
struct Areas {
    std::vector<float> lum, red;
    std::vector<uint8_t> saturated;
};

// Measures a frame of 0xAARRGGBB words (alpha ignored), rows top down; at least
// kGridX x kGridY pixels.
void Measure(const uint32_t* argb, int width, int height, Areas& out);

// The linear value of an 8-bit sRGB channel, 0..1.
float Linear(int channel);

// One cell's brightness over time: the last turning point (anchor) and the
// furthest value since (extreme), moving in direction dir (+1, -1, 0 unknown).
struct Swing {
    float anchor = 0, extreme = 0;
    int8_t dir = 0;
    bool counted = false;   // the swing from anchor to extreme was a transition
    bool anchorRed = false, extremeRed = false;
    bool started = false;
};

// Feeds value v (red: the state is a saturated red) to a swing; returns +1 or
// -1 when the swing becomes a transition at this value, else 0. `general`
// picks the rule (darker state below the dark limit) over the red one (a
// saturated red in either state).
int StepSwing(Swing& s, float v, bool red, float threshold, bool general, const Limits& limits);

// Which way a value may go at most without making a transition: the band
// around a swing's anchor, [low, high].
void FreeBand(const Swing& s, float threshold, float& low, float& high);

// Counts the transitions of every field position from the cells' transitions,
// frame by frame, over the last `span` seconds.
class FieldCounter {
public:
    explicit FieldCounter(const Limits& limits = Limits());
    void Reset();

    // The fields that would make a transition at time t if cells made those in
    // `moves` (+1, -1, 0 per cell), and the count each field has in the span
    // before t: for every field position (row-major over kPositionsX x
    // kPositionsY) its direction (0: none) in `fieldMoves`.
    void Plan(double t, const std::vector<int8_t>& moves, std::vector<int8_t>& fieldMoves);
    // Transitions in (t - span, t] a field would have with one more now.
    int CountBefore(int field, double t) const;
    // Records the cells' transitions at t (as Plan saw them, less any that
    // were held back) and the fields' that follow; gives the most transitions
    // any field has in (t - span, t].
    int Commit(double t, const std::vector<int8_t>& moves);

    static constexpr int kPositionsX = kGridX - kFieldX + 1, kPositionsY = kGridY - kFieldY + 1;
    static constexpr int kPositions = kPositionsX * kPositionsY;
    int WorstField() const { return worst_; }   // the field of the last Commit's most

private:
    struct Field {
        double last = -1e300;   // time of its last transition
        int8_t dir = 0;         // and its direction
        std::deque<double> times;
    };
    // Cells whose last transition has direction d and came at or after
    // recent_[k]: summed-area tables, one per recent frame time.
    void BuildTables(double t, const std::vector<int8_t>& moves);
    int8_t FieldMove(int field) const;

    Limits limits_;
    std::vector<double> cellTime_;   // last transition of each cell
    std::vector<int8_t> cellDir_;
    std::vector<double> recent_;                // frame times within `together`, newest first
    std::vector<std::vector<int>> up_, down_;   // per recent_ entry, (kGridX+1) x (kGridY+1)
    std::vector<Field> fields_;
    int worst_ = 0;
};

// The whole measure over a sequence of frames: feed frames in order with
// their times; each gives the most general and red transitions any field
// shows in the span ending at it (flashes are half of them).
class Analyser {
public:
    explicit Analyser(const Limits& limits = Limits());
    struct Result {
        int general = 0, red = 0;   // transitions in the worst field's span
        int generalField = 0;       // that field's position (FieldCounter order)
    };
    Result Feed(double t, const uint32_t* argb, int width, int height);

private:
    Limits limits_;
    Areas areas_;
    std::vector<Swing> lum_, red_;
    std::vector<int8_t> lumMoves_, redMoves_;
    FieldCounter general_, redFields_;
};

}   // namespace qor::flash
