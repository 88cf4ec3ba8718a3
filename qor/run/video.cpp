// Offline rendering: every frame at t = n / fps (a hair later where that is
// one of the demo's window bounds), the music rendered sample-exact beside it (frame n begins at song frame floor(n *
// rate / fps)), and each frame's sound level measured from that audio: the WAV is written whole first (ffmpeg reads it
// beside the frames), then the soundtrack plays again from the first frame, in step with the frames. FILE ending in
// .mp4, .mkv or .webm is encoded by the ffmpeg command-line tool (raw frames on its standard input, the audio from a
// WAV written first); any other FILE is a folder of numbered PNG frames and "audio.wav". The same run gives the same
// bytes every time.
//
// Nothing appears under its own name before it is whole, and a second render
// to the same output is refused (render_output.h). A stop signal (SIGINT,
// SIGTERM; on POSIX systems SIGHUP and SIGQUIT too: platform/system.h's
// CatchStopSignals) ends the render after the frame being drawn, or at once
// while it waits on ffmpeg: a folder then keeps the frames so far and their
// audio, a video file is not written; either way one line says which, and
// the exit code is 128 + the signal.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/file.h"
#include "assets/images.h"
#include "assets/output.h"
#include "audio/soundtrack.h"
#include "audio/wav.h"
#include "platform/files.h"
#include "platform/system.h"
#include "render/render.h"
#include "run/frames.h"
#include "run/render_output.h"
#include "run/state.h"
#include "run/video.h"

namespace qor {

namespace {

// One offline render: what it makes, where the frames go, and what is left to
// clean up when it ends.
struct OfflineRender {
    RunState* run = nullptr;
    int fps = 60;
    int64_t first = 0, last = 0;   // frames first .. last-1, all with t < the end
    RenderOutput out;              // the target, its lock and ffmpeg's file
    std::string wavPart;           // where the WAV is written (ours once created)
    int64_t index = 0;             // next frame's number in the output
    int64_t written = 0;           // frames whole in the output
    int signal = 0;                // the stop signal that ended the render
    platform::PipedChild ffmpeg;
    bool failed = false;   // a frame could not be written (why in error)
    std::string error;
    bool barOpen = false;   // the progress bar's line is not finished yet
};

void TakeFrame(OfflineRender& r, const uint32_t* argb, int width, int height) {
    if (r.failed) return;
    if (r.out.kind == VideoKind::Folder) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06lld.png", static_cast<long long>(r.index));
        std::string why;
        if (!WritePng(r.out.folder + name, argb, width, height, false, why)) {
            if ((r.signal = platform::StopSignal()) != 0) return;
            r.failed = true;
            r.error = why;
        } else {
            ++r.written;
        }
    } else {
        std::string why;
        if (!r.ffmpeg.Write(argb, static_cast<size_t>(width) * height * 4, &why)) {
            if ((r.signal = platform::StopSignal()) != 0) return;   // stopped while ffmpeg's pipe was full
            r.failed = true;
            r.error = "ffmpeg stopped taking frames (" + why + ")";
        } else {
            ++r.written;
        }
    }
    ++r.index;
}

// The last line ffmpeg wrote on its standard error, without its "[muxer @ 0x...] " tag.
std::string LastLine(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n ");
    if (end == std::string::npos) return "";
    const size_t begin = text.find_last_of('\n', end);
    std::string line =
        text.substr(begin == std::string::npos ? 0 : begin + 1, end + 1 - (begin == std::string::npos ? 0 : begin + 1));
    if (line.size() > 2 && line[0] == '[') {
        const size_t tag = line.find("] ");
        if (tag != std::string::npos) line = line.substr(tag + 2);
    }
    return line.size() > 160 ? line.substr(0, 157) + "..." : line;
}

// The frames to render and where they go: the folder made, or ffmpeg found.
bool Plan(OfflineRender& r, std::string& error) {
    const RunState& run = *r.run;
    const Options& o = run.options;
    r.fps = o.fps;
    double end = run.soundtrack.Duration();
    if (o.length > 0) end = std::min(end, o.start + o.length);
    r.first = FirstFrameAt(o.start, r.fps);
    r.last = FirstFrameAt(end, r.fps);
    if (r.last <= r.first) {
        char why[96];
        std::snprintf(why, sizeof why, "nothing to render: --start %g is at or past the end (%g s)", o.start, end);
        error = why;
        return false;
    }
    return OpenOutput(r.out, run.renderFile, error);
}

// The audio first, whole: the WAV that ffmpeg or the folder gets, each
// frame's samples in turn.
bool PlanAudio(OfflineRender& r, std::string& error) {
    audio::Soundtrack& track = r.run->soundtrack;
    const int rate = audio::kRate;
    track.Seek(AudioBoundary(r.first, r.fps, rate));
    std::vector<float> buffer(2 * static_cast<size_t>(rate / r.fps + 1));
    audio::WavWriter wav;
    const std::string cannot = "cannot write " + Printable(r.out.wavPath) + ": ";
    const int fd = CreatePart(r.out.wavPath);
    std::FILE* stream = fd >= 0 ? platform::StreamOf(fd, "wb") : nullptr;
    if (!stream) {
        error = cannot + std::strerror(errno);
        if (fd >= 0) {
            platform::CloseFile(fd);
            std::remove(PartName(r.out.wavPath).c_str());
        }
        return false;
    }
    r.wavPart = PartName(r.out.wavPath);
    if (!wav.Open(stream, rate)) {
        error = cannot + std::strerror(wav.Error());
        return false;
    }
    for (int64_t n = r.first; n < r.last; ++n) {
        if ((r.signal = platform::StopSignal()) != 0) return false;
        const int64_t from = AudioBoundary(n, r.fps, rate);
        const int64_t to = AudioBoundary(n + 1, r.fps, rate);
        const size_t count = static_cast<size_t>(to - from);
        buffer.resize(std::max(buffer.size(), 2 * count));
        track.Render(buffer.data(), count);
        if (!wav.Write(buffer.data(), count)) {
            if ((r.signal = platform::StopSignal()) != 0) return false;   // the write was cut short by it
            error = cannot + std::strerror(wav.Error());
            return false;
        }
    }
    if (!wav.Close()) {
        error = cannot + std::strerror(wav.Error());
        return false;
    }
    return true;
}

// Where the frames go: the folder is ready; a video needs ffmpeg running.
bool OpenSink(OfflineRender& r, std::string& error) {
    if (r.out.kind == VideoKind::Folder) return true;
    const Options& o = r.run->options;
    std::string why;
    if (!r.ffmpeg.Start(FfmpegArguments(r.out.kind, r.wavPart, r.out.videoPart, render::Width(), render::Height(),
                                        r.fps, o.width, o.height),
                        &why)) {
        error = "cannot start ffmpeg: " + why;
        return false;
    }
    return true;
}

// Every frame at t = n / fps (nudged off the demo's window bounds), after the
// frames before the first one have run undrawn for the states they leave, the
// soundtrack rendered up to each frame's time for its level; a progress bar
// on standard error.
bool RenderFrames(OfflineRender& r, FrameFunction frame, std::string& error) {
    RunState& run = *r.run;
    FastForward(run, frame, static_cast<double>(r.first) / r.fps);
    run.soundtrack.Seek(AudioBoundary(r.first, r.fps, audio::kRate));
    const int64_t total = r.last - r.first;
    const bool tty = platform::StderrIsTerminal();
    const auto began = std::chrono::steady_clock::now();
    double shownAt = -1.0;
    int shownDecile = -1;
    for (int64_t n = r.first; n < r.last && !r.failed; ++n) {
        if ((r.signal = platform::StopSignal()) != 0) break;
        run.soundtrack.RenderTo(audio::SongFrame(static_cast<double>(n) / r.fps));
        const double t = RenderFrameTime(n, r.fps, run.demo.windowBounds, run.demo.windowBoundCount);
        const FrameImage image = DrawFrame(run, frame, t);
        TakeFrame(r, image.argb, image.width, image.height);

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
    if (r.failed) {
        error = r.error;
        return false;
    }
    return r.signal == 0;
}

// Ends the bar's line and puts the output in place, whether the render got
// this far or not. A video is renamed into place only when ffmpeg finished it
// after every frame; otherwise ffmpeg is stopped and its file removed. A
// folder keeps the frames written whole, and its WAV is cut to their audio.
// The temporary WAV goes on every way out. An interruption becomes the error,
// which RunRender turns into its exit code.
bool Finish(OfflineRender& r, bool ok, std::string& error) {
    RunState& run = *r.run;
    if (r.barOpen) std::fputc('\n', stderr);
    r.barOpen = false;
    const int64_t total = r.last - r.first;
    const std::string shown = Printable(run.renderFile);
    if (r.out.kind != VideoKind::Folder) {
        bool encoded = false;
        if (ok)
            encoded = r.ffmpeg.Finish();
        else if (r.failed)
            r.ffmpeg.Finish();   // it stopped on its own: its last words say why
        else
            r.ffmpeg.Kill();
        if (r.signal == 0) r.signal = platform::StopSignal();   // one that came while ffmpeg finished
        if (r.signal != 0) ok = false;
        if (!r.wavPart.empty()) std::remove(r.wavPart.c_str());
        const std::string said = LastLine(r.ffmpeg.Errors());
        if (r.signal == 0 && ((ok && !encoded) || (r.failed && !said.empty()))) {
            error = "ffmpeg could not write " + shown + (said.empty() ? "" : ": " + said);
            ok = false;
        }
        // An encoder that took every frame and said it was done may still
        // have written nothing: no video is better than an empty one.
        std::error_code ec;
        if (ok && (std::filesystem::file_size(r.out.videoPart, ec) == 0 || ec)) {
            error = "ffmpeg wrote nothing to " + shown + " though it reported success";
            ok = false;
        }
        if (ok && platform::RenameOver(r.out.videoPart.c_str(), run.renderFile.c_str()) != 0) {
            error = "cannot write " + shown + ": " + std::strerror(errno);
            ok = false;
        }
        if (!ok && !r.out.videoPart.empty()) std::remove(r.out.videoPart.c_str());
    } else if (!r.wavPart.empty()) {
        // The WAV was whole before the first frame; cut it to the frames there are.
        bool whole = ok || r.written > 0;
        const int64_t frames =
            AudioBoundary(r.first + r.written, r.fps, audio::kRate) - AudioBoundary(r.first, r.fps, audio::kRate);
        if (whole && r.written < total && !audio::TruncateWav(r.wavPart, audio::kRate, frames)) {
            if (error.empty()) error = "cannot write " + Printable(r.out.wavPath) + ": " + std::strerror(errno);
            whole = ok = false;
        }
        if (whole && platform::RenameOver(r.wavPart.c_str(), r.out.wavPath.c_str()) != 0) {
            if (error.empty()) error = "cannot write " + Printable(r.out.wavPath) + ": " + std::strerror(errno);
            whole = ok = false;
        }
        if (!whole) std::remove(r.wavPart.c_str());
    }
    if (r.failed && r.out.kind == VideoKind::Folder && r.written > 0)
        error += "; " + shown + " holds the first " + std::to_string(r.written) + " frames and their audio";
    if (r.signal != 0) {
        char line[160];
        std::snprintf(line, sizeof line, "interrupted at frame %lld of %lld; ", static_cast<long long>(r.written),
                      static_cast<long long>(total));
        error = line + (r.out.kind == VideoKind::Folder
                            ? shown + " holds the first " + std::to_string(r.written) + " frames and their audio"
                            : shown + " is not written");
        return false;
    }
    return ok;
}

}   // namespace

Outcome RunRender(RunState& run, FrameFunction frame) {
    OfflineRender r;
    r.run = &run;
    std::string error;
    // Stop signals are caught since Initialize: one during loading is seen
    // before the first frame and ends the render the same way.
    const bool ok = Plan(r, error) && PlanAudio(r, error) && OpenSink(r, error) && RenderFrames(r, frame, error);
    const bool finished = Finish(r, ok, error);
    CloseOutput(r.out);
    platform::ReleaseStopSignals();
    if (!finished) return Outcome::Failed(error, r.signal != 0 ? platform::StopExitCode(r.signal) : 1);
    std::fprintf(stderr, "teq: rendered %lld frames to %s\n", static_cast<long long>(r.last - r.first),
                 Printable(run.renderFile).c_str());
    return Outcome::Ok();
}

}   // namespace qor
