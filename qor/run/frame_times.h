// When frames are drawn: the reference rate and the one rule that turns a
// time into a frame. Frame n of a run at fps frames a second is drawn at
// t = n / fps; the reference run (every frame at 60 fps from 0) is what
// --shot, a seek, --bench and the frames run only for their states draw, and
// --render's default rate.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qor {

inline constexpr int kReferenceFps = 60;

// Reference frame k is drawn at t = k / kReferenceFps.
inline double ReferenceTime(int64_t k) { return double(k) / kReferenceFps; }

// The first frame n >= 0 whose time n / fps is at or after `seconds`, give or
// take a millionth of a frame: times that are meant to fall on a frame but
// come out of decimal input or sums a hair off it (0.1 * 30 is
// 3.0000000000000004; the song's length is 132.0000000000004 s) count as
// that frame. --start, --shot, a seek, --render's first and last frames and
// --bench's first all go by it.
inline int64_t FirstFrameAt(double seconds, int fps) {
    if (!(seconds > 0)) return 0;
    return std::max<int64_t>(0, static_cast<int64_t>(std::ceil(seconds * fps - 1e-6)));
}

// The reference frames before `seconds`: those with k / 60 < seconds.
inline int64_t FramesBefore(double seconds) { return FirstFrameAt(seconds, kReferenceFps); }

}   // namespace qor
