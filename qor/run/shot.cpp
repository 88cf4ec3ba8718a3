// teq --shot T FILE.png: the picture that playback shows at T. Every frame of
// the timeline before T runs with drawing switched off, so the states, camera,
// transforms and random numbers that the frame at T inherits are those of
// playback; then the frame at T is drawn and written.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/images.h"
#include "render/render.h"
#include "run/modes.h"
#include "run/options.h"

namespace qor {

void RunShot(FrameFunction frame) {
    const Options& o = CurrentOptions();
    FastForward(frame, o.shotTime);
    frame(float(o.shotTime));
    NoteFrameShown(o.shotTime);

    std::string error;
    if (!WritePng(o.shotFile, render::Frame(), render::Width(), render::Height(), false, error)) {
        std::fprintf(stderr, "teq: --shot: %s\n", error.c_str());
        std::exit(1);
    }
}

}  // namespace qor
