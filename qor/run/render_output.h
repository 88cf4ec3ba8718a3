// Where an offline render writes, made safe before its first frame.
//
// Nothing appears under its own name before it is whole: frames and the WAV
// are written under names of this run's own (NAME.TAG.part, created new) and
// renamed, ffmpeg writes FILE.TAG.part, renamed when it has finished. A lock
// file (FILE.teq-lock beside a video, teq-lock in a folder) keeps a second
// render from the same output; it names this run's tag, so that the render
// after one that was killed removes what that one left.
#pragma once

#include <string>

#include "run/video.h"

namespace qor {

struct RenderOutput {
    VideoKind kind = VideoKind::Folder;
    std::string folder;          // Folder: the frames' folder
    std::string wavPath;         // the WAV's name: FOLDER/audio.wav, or FILE.audio.wav for ffmpeg
    bool temporaryWav = false;   // the WAV only feeds ffmpeg: removed on every way out
    std::string videoPart;       // Video: where ffmpeg writes (created, ours)
    std::string lockPath;
    int lock = -1;   // the lock file's descriptor
};

// Checks what is at `file` and its folder, takes the lock (removing what a
// killed render to it left), and then: for a video, finds ffmpeg and creates
// its part file; for a folder, creates it if needed and removes the frames
// and audio of an earlier render. false with one line in `error` when the
// render cannot go there.
bool OpenOutput(RenderOutput& out, const std::string& file, std::string& error);

// Removes the lock file and lets go of the lock.
void CloseOutput(RenderOutput& out);

}   // namespace qor
