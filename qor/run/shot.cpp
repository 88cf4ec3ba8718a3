// teq --shot T FILE.png: the picture that playback shows at T. Every frame of
// the timeline before T runs with drawing switched off, so the states, camera,
// transforms and random numbers that the frame at T inherits are those of
// playback; then the frame at T is drawn and written. In calm mode the last
// kCalmLead seconds before T are drawn too, so that what the calm mode holds
// back at T is what playback holds back there.
#include <string>

#include "assets/images.h"
#include "calm/calm.h"
#include "run/frames.h"
#include "run/state.h"

namespace qor {

Outcome RunShot(RunState& run, FrameFunction frame) {
    const Options& o = run.options;
    constexpr double kCalmLead = 2.0;   // s
    if (calm::On()) {
        const int64_t from = FramesBefore(o.shotTime - kCalmLead);
        FastForward(run, frame, o.shotTime - kCalmLead);
        for (int64_t k = from; k < FramesBefore(o.shotTime); ++k) DrawFrame(run, frame, ReferenceTime(k));
    } else {
        FastForward(run, frame, o.shotTime);
    }
    const FrameImage image = DrawFrame(run, frame, o.shotTime);

    std::string why;
    if (!WritePng(o.shotFile, image.argb, image.width, image.height, false, why))
        return Outcome::Failed("--shot: " + why);
    return Outcome::Ok();
}

}   // namespace qor
