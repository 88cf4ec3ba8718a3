// Offline rendering: every frame at t = n / fps exactly, the music rendered
// sample-exact beside it (frame n begins at song frame floor(n * rate / fps)),
// and each frame's sound level measured from that audio. FILE ending in .mp4,
// .mkv or .webm is encoded by the ffmpeg command-line tool (raw frames on its
// standard input, the audio from a WAV written first); any other FILE is a
// folder of numbered PNG frames and "audio.wav". The same run gives the same
// bytes every time.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/images.h"
#include "audio/music.h"
#include "audio/wav.h"
#include "platform/system.h"
#include "render/render.h"
#include "run/state.h"
#include "run/video.h"

namespace qor {

namespace {

// One offline render: what it makes, where the frames go, and what is left to
// clean up when it ends.
struct Render {
    RunState* run = nullptr;
    int fps = 60;
    int64_t first = 0, last = 0;   // frames first .. last-1, all with t < the end
    std::vector<float> levels;     // each frame's sound level
    VideoKind kind = VideoKind::Folder;
    std::string folder;            // Folder: the frames' folder
    std::string wavPath;
    bool temporaryWav = false;     // the WAV only feeds ffmpeg: removed on every way out
    int64_t index = 0;             // next frame's number in the output
    platform::PipedChild ffmpeg;
    bool presented = false;        // the frame function showed its frame
    bool failed = false;           // a frame could not be written (why in error)
    std::string error;
    bool barOpen = false;          // the progress bar's line is not finished yet
};

void TakeFrame(Render& r, const uint32_t* argb, int width, int height) {
    if (r.failed) return;
    if (r.kind == VideoKind::Folder) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06lld.png", static_cast<long long>(r.index));
        std::string why;
        if (!WritePng(r.folder + name, argb, width, height, false, why)) {
            r.failed = true;
            r.error = why + ": " + std::strerror(errno);
        }
    } else {
        std::string why;
        if (!r.ffmpeg.Write(argb, static_cast<size_t>(width) * height * 4, &why)) {
            r.failed = true;
            r.error = "ffmpeg stopped taking frames (" + why + ")";
        }
    }
    ++r.index;
}

void PresentToSink(const uint32_t* argb, int width, int height, void* user) {
    Render& r = *static_cast<Render*>(user);
    TakeFrame(r, argb, width, height);
    NoteFrameShown(*r.run, r.run->frameTime);
    r.presented = true;
}

// The frames to render and where they go: the folder made, or ffmpeg found.
bool Plan(Render& r, std::string& error) {
    const RunState& run = *r.run;
    const Options& o = run.options;
    r.fps = o.fps;
    double end = run.music.Duration();
    if (o.length > 0) end = std::min(end, o.start + o.length);
    r.first = FirstFrameAt(o.start, r.fps);
    r.last = FirstFrameAt(end, r.fps);
    if (r.last <= r.first) {
        char why[96];
        std::snprintf(why, sizeof why, "nothing to render: --start %g is at or past the end (%g s)", o.start, end);
        error = why;
        return false;
    }
    r.kind = KindOf(run.renderFile);
    if (r.kind != VideoKind::Folder) {
        if (!platform::FindProgram("ffmpeg")) {
            error = "ffmpeg not found: " + platform::HowToGetProgram("ffmpeg") + ", or render PNG frames to a folder";
            return false;
        }
        r.wavPath = run.renderFile + ".audio.wav";
        r.temporaryWav = true;
        return true;
    }
    r.folder = run.renderFile;
    std::error_code ec;
    std::filesystem::create_directory(r.folder, ec);
    if (ec && !std::filesystem::exists(r.folder)) {
        error = "cannot create the folder " + r.folder + ": " + ec.message();
        return false;
    }
    if (!std::filesystem::is_directory(r.folder, ec)) {
        error = r.folder + " is not a folder (video files end in .mp4, .mkv or .webm)";
        return false;
    }
    r.wavPath = r.folder + "/audio.wav";
    return true;
}

// The audio first, whole: each frame's level, and the WAV that ffmpeg or the
// folder gets. The level's window reaches 1/50 s before the first frame.
bool PlanAudio(Render& r, std::string& error) {
    RunState& run = *r.run;
    const int rate = audio::kRate;
    r.levels.assign(static_cast<size_t>(r.last - r.first), 0.0f);
    const int64_t begin = AudioBoundary(r.first, r.fps, rate);
    const int64_t lead = std::min<int64_t>(begin, audio::LevelMeter::kWindow);
    run.music.Seek(begin - lead);
    run.meter.Reset(begin - lead);
    std::vector<float> buffer(2 * static_cast<size_t>(std::max<int64_t>(lead, rate / r.fps + 1)));
    run.music.Render(buffer.data(), static_cast<size_t>(lead));
    run.meter.Push(buffer.data(), static_cast<size_t>(lead));
    audio::WavWriter wav;
    const std::string cannot = "cannot write " + r.wavPath + ": ";
    if (!wav.Open(r.wavPath, rate)) {
        error = "cannot create " + r.wavPath + ": " + std::strerror(errno);
        return false;
    }
    for (int64_t n = r.first; n < r.last; ++n) {
        const int64_t from = AudioBoundary(n, r.fps, rate);
        const int64_t to = AudioBoundary(n + 1, r.fps, rate);
        r.levels[static_cast<size_t>(n - r.first)] = LevelFor(run, from);
        const size_t count = static_cast<size_t>(to - from);
        buffer.resize(std::max(buffer.size(), 2 * count));
        run.music.Render(buffer.data(), count);
        run.meter.Push(buffer.data(), count);
        if (!wav.Write(buffer.data(), count)) {
            error = cannot + std::strerror(errno);
            return false;
        }
    }
    if (!wav.Close()) {
        error = cannot + std::strerror(errno);
        return false;
    }
    return true;
}

// Where the frames go: the folder is ready; a video needs ffmpeg running.
bool OpenSink(Render& r, std::string& error) {
    if (r.kind == VideoKind::Folder) return true;
    const Options& o = r.run->options;
    std::string why;
    if (!r.ffmpeg.Start(FfmpegArguments(r.kind, r.wavPath, r.run->renderFile, render::Width(), render::Height(),
                                        r.fps, o.width, o.height),
                        &why)) {
        error = "cannot start ffmpeg: " + why;
        return false;
    }
    return true;
}

// Every frame at t = n / fps, after the frames before the first one have run
// undrawn for the states they leave; a progress bar on standard error.
bool RenderFrames(Render& r, FrameFunction frame, std::string& error) {
    RunState& run = *r.run;
    run.level = 0.0f;
    FastForward(run, frame, static_cast<double>(r.first) / r.fps);
    render::SetPresenter(PresentToSink, &r);
    const int64_t total = r.last - r.first;
    const bool tty = platform::StderrIsTerminal();
    const auto began = std::chrono::steady_clock::now();
    double shownAt = -1.0;
    int shownDecile = -1;
    for (int64_t n = r.first; n < r.last && !r.failed; ++n) {
        const double t = static_cast<double>(n) / r.fps;
        run.frameTime = t;
        run.level = r.levels[static_cast<size_t>(n - r.first)];
        r.presented = false;
        frame(static_cast<float>(t));
        if (!r.presented) PresentToSink(render::Frame(), render::Width(), render::Height(), &r);

        const int64_t done = n + 1 - r.first;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const int decile = static_cast<int>(10 * done / total);
        if ((tty && (elapsed - shownAt >= 0.2 || done == total)) || (!tty && decile != shownDecile)) {
            std::fprintf(stderr, tty ? "\r%s" : "%s\n", ProgressLine(done, total, elapsed, r.fps).c_str());
            r.barOpen = tty;
            shownAt = elapsed;
            shownDecile = decile;
        }
    }
    render::SetPresenter(nullptr, nullptr);
    if (r.failed) {
        error = r.error;
        return false;
    }
    return true;
}

// Ends the bar's line, lets ffmpeg finish and removes the temporary WAV,
// whether the render got this far or not; a failed encode is the error when
// nothing failed before.
bool Finish(Render& r, bool ok, std::string& error) {
    if (r.barOpen) std::fputc('\n', stderr);
    r.barOpen = false;
    const bool encoded = r.ffmpeg.Finish();
    if (r.temporaryWav) std::remove(r.wavPath.c_str());
    if (ok && !encoded) {
        error = "ffmpeg could not encode " + r.run->renderFile;
        return false;
    }
    return ok;
}

}  // namespace

bool RunRender(RunState& run, FrameFunction frame, std::string& error) {
    Render r;
    r.run = &run;
    if (!Plan(r, error)) return false;
    const bool ok = PlanAudio(r, error) && OpenSink(r, error) && RenderFrames(r, frame, error);
    if (!Finish(r, ok, error)) return false;
    std::fprintf(stderr, "teq: rendered %lld frames to %s\n", static_cast<long long>(r.last - r.first),
                 run.renderFile.c_str());
    return true;
}

}  // namespace qor
