// Pieces of offline rendering that are worth checking on their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

enum class VideoKind { Folder, Mp4, Mkv, Webm };

// floor(frame * rate / fps): the song frame at which video frame `frame` begins.
int64_t AudioBoundary(int64_t frame, int fps, int rate);

// The time frame n of a render is drawn at: n / fps, unless the demo would
// get exactly one of its window bounds there (a strict bound draws neither
// window, so a render would show an empty frame at every cut, where live play
// almost never lands): then the next float above it, the first moment of the
// window that follows.
double RenderFrameTime(int64_t n, int fps, const float* bounds, int boundCount);

// By the file name's ending (case ignored); anything else is a folder.
VideoKind VideoKindOf(const std::string& file);

// The ffmpeg command line: raw bgr0 frames of width x height on standard
// input, the audio from `wav`, scaled to outWidth x outHeight: nearest-neighbour
// when that is a whole multiple of the frame on both sides, else Lanczos.
std::vector<std::string> FfmpegArguments(VideoKind kind, const std::string& wav, const std::string& file, int width,
                                         int height, int fps, int outWidth, int outHeight);

// One state of the progress bar: frames, percent, speed, time left.
std::string ProgressLine(int64_t done, int64_t total, double elapsed, int fps);

}   // namespace qor
