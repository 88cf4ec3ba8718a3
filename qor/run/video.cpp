// Offline rendering: every frame at t = n / fps exactly, the music rendered
// sample-exact beside it (frame n begins at song frame floor(n * rate / fps)),
// and each frame's sound level measured from that audio. FILE ending in .mp4,
// .mkv or .webm is encoded by the ffmpeg command-line tool (raw frames on its
// standard input, the audio from a WAV written first); any other FILE is a
// folder of numbered PNG frames and "audio.wav". The same run gives the same
// bytes every time.
//
// Nothing appears under its own name before it is whole: frames and the WAV
// are written as NAME.part and renamed, ffmpeg writes FILE.part, renamed when
// it has finished. SIGINT or SIGTERM stops the render after the frame being
// drawn: a folder then keeps the frames so far and their audio, a video file
// is not written; either way one line says which, and the exit code is 128 +
// the signal.
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

#include "assets/file.h"
#include "assets/images.h"
#include "audio/music.h"
#include "audio/wav.h"
#include "platform/files.h"
#include "platform/system.h"
#include "render/render.h"
#include "run/interrupt.h"
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
    std::string wavPart;           // where the WAV is written: wavPath itself for ffmpeg's
    bool temporaryWav = false;     // the WAV only feeds ffmpeg: removed on every way out
    int64_t index = 0;             // next frame's number in the output
    int64_t written = 0;           // frames whole in the output
    int signal = 0;                // SIGINT or SIGTERM stopped the render
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
            r.error = why;
        } else {
            ++r.written;
        }
    } else {
        std::string why;
        if (!r.ffmpeg.Write(argb, static_cast<size_t>(width) * height * 4, &why)) {
            r.failed = true;
            r.error = "ffmpeg stopped taking frames (" + why + ")";
        } else {
            ++r.written;
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

// What an earlier render left in the folder (numbered frames, audio.wav, and
// the .part files of one that was killed) goes, so the folder holds this
// render alone; anything else in it stays. One line says what went.
void ClearFolder(const std::string& folder) {
    std::error_code ec;
    int64_t frames = 0, others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        const bool part = name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
        if (part) name.resize(name.size() - 5);
        const bool frame = name.size() == 10 && name.compare(6, 4, ".png") == 0 &&
                           std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
        if (!frame && name != "audio.wav") continue;
        std::error_code removed;
        if (std::filesystem::remove(entry.path(), removed)) ++(frame && !part ? frames : others);
    }
    if (frames > 0 || others > 0)
        std::fprintf(stderr, "teq: %s: removed %lld frames%s of an earlier render\n", folder.c_str(),
                     static_cast<long long>(frames), others > 0 ? " and the audio" : "");
}

// The last line ffmpeg wrote on its standard error, without its "[muxer @ 0x...] " tag.
std::string LastLine(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n ");
    if (end == std::string::npos) return "";
    const size_t begin = text.find_last_of('\n', end);
    std::string line = text.substr(begin == std::string::npos ? 0 : begin + 1, end + 1 - (begin == std::string::npos ? 0 : begin + 1));
    if (line.size() > 2 && line[0] == '[') {
        const size_t tag = line.find("] ");
        if (tag != std::string::npos) line = line.substr(tag + 2);
    }
    return line.size() > 160 ? line.substr(0, 157) + "..." : line;
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
    ClearFolder(r.folder);
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
    r.wavPart = r.temporaryWav ? r.wavPath : PartName(r.wavPath);
    const std::string cannot = "cannot write " + r.wavPath + ": ";
    if (!wav.Open(r.wavPart, rate)) {
        error = "cannot create " + r.wavPath + ": " + std::strerror(wav.Error());
        return false;
    }
    for (int64_t n = r.first; n < r.last; ++n) {
        if ((r.signal = InterruptSignal()) != 0) return false;
        const int64_t from = AudioBoundary(n, r.fps, rate);
        const int64_t to = AudioBoundary(n + 1, r.fps, rate);
        r.levels[static_cast<size_t>(n - r.first)] = LevelFor(run, from);
        const size_t count = static_cast<size_t>(to - from);
        buffer.resize(std::max(buffer.size(), 2 * count));
        run.music.Render(buffer.data(), count);
        run.meter.Push(buffer.data(), count);
        if (!wav.Write(buffer.data(), count)) {
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
bool OpenSink(Render& r, std::string& error) {
    if (r.kind == VideoKind::Folder) return true;
    const Options& o = r.run->options;
    std::string why;
    if (!r.ffmpeg.Start(FfmpegArguments(r.kind, r.wavPath, PartName(r.run->renderFile), render::Width(), render::Height(),
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
        if ((r.signal = InterruptSignal()) != 0) break;
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
    return r.signal == 0;
}

// Ends the bar's line and puts the output in place, whether the render got
// this far or not. A video is renamed into place only when ffmpeg finished it
// after every frame; otherwise ffmpeg is stopped and its file removed. A
// folder keeps the frames written whole, and its WAV is cut to their audio.
// The temporary WAV goes on every way out. An interruption becomes the error,
// with its exit code.
bool Finish(Render& r, bool ok, std::string& error) {
    RunState& run = *r.run;
    if (r.barOpen) std::fputc('\n', stderr);
    r.barOpen = false;
    const int64_t total = r.last - r.first;
    if (r.kind != VideoKind::Folder) {
        const std::string part = PartName(run.renderFile);
        bool encoded = false;
        if (ok)
            encoded = r.ffmpeg.Finish();
        else if (r.failed)
            r.ffmpeg.Finish();   // it stopped on its own: its last words say why
        else
            r.ffmpeg.Kill();
        if (r.temporaryWav) std::remove(r.wavPath.c_str());
        const std::string said = LastLine(r.ffmpeg.Errors());
        if ((ok && !encoded) || (r.failed && !said.empty())) {
            error = "ffmpeg could not write " + run.renderFile + (said.empty() ? "" : ": " + said);
            ok = false;
        }
        if (ok && platform::RenameOver(part.c_str(), run.renderFile.c_str()) != 0) {
            error = "cannot write " + run.renderFile + ": " + std::strerror(errno);
            ok = false;
        }
        if (!ok) std::remove(part.c_str());
    } else if (!r.wavPart.empty()) {
        // The WAV was whole before the first frame; cut it to the frames there are.
        const bool whole = ok || r.written > 0;
        if (whole && r.written < total) {
            const int64_t frames = AudioBoundary(r.first + r.written, r.fps, audio::kRate) -
                                   AudioBoundary(r.first, r.fps, audio::kRate);
            audio::TruncateWav(r.wavPart, audio::kRate, frames);
        }
        if (!whole || platform::RenameOver(r.wavPart.c_str(), r.wavPath.c_str()) != 0) std::remove(r.wavPart.c_str());
    }
    if (r.failed && r.kind == VideoKind::Folder && r.written > 0)
        error += "; " + r.folder + " holds the first " + std::to_string(r.written) + " frames and their audio";
    if (r.signal != 0) {
        char line[160];
        std::snprintf(line, sizeof line, "interrupted at frame %lld of %lld; ", static_cast<long long>(r.written),
                      static_cast<long long>(total));
        error = line + (r.kind == VideoKind::Folder
                            ? r.folder + " holds the first " + std::to_string(r.written) + " frames and their audio"
                            : run.renderFile + " is not written");
        run.exitCode = InterruptExitCode(r.signal);
        return false;
    }
    return ok;
}

}  // namespace

bool RunRender(RunState& run, FrameFunction frame, std::string& error) {
    Render r;
    r.run = &run;
    if (!Plan(r, error)) return false;
    CatchInterrupts();
    const bool ok = PlanAudio(r, error) && OpenSink(r, error) && RenderFrames(r, frame, error);
    const bool finished = Finish(r, ok, error);
    ReleaseInterrupts();
    if (!finished) return false;
    std::fprintf(stderr, "teq: rendered %lld frames to %s\n", static_cast<long long>(r.last - r.first),
                 run.renderFile.c_str());
    return true;
}

}  // namespace qor
