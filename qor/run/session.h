// What Initialize prepares for the run modes: the music, its level meter,
// and the time of the frame being drawn (for GetFPS and the presenters).
#pragma once

#include "audio/level.h"
#include "audio/music.h"

namespace qor {

struct Session {
    audio::Music music;
    audio::LevelMeter meter;
    double frameTime = 0.0;   // t of the frame being drawn
    bool running = false;     // inside Run (loading frames do not count for GetFPS)
};

Session& CurrentSession();

// The sound level for the frame heard at song frame `position`: the fixed
// --level if one was given, else the meter's.
float LevelFor(const Session& session, int64_t position);

}  // namespace qor
