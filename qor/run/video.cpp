// Offline rendering: every frame at t = n / fps exactly, the music rendered
// sample-exact beside it (frame n begins at song frame floor(n * rate / fps)),
// and each frame's sound level measured from that audio. FILE ending in .mp4,
// .mkv or .webm is encoded by the ffmpeg command-line tool (raw frames on its
// standard input, the audio from a WAV written first); any other FILE is a
// folder of numbered PNG frames and "audio.wav". The same run gives the same
// bytes every time.
#include <spng.h>

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

#include "audio/music.h"
#include "audio/wav.h"
#include "platform/system.h"
#include "render/render.h"
#include "run/modes.h"
#include "run/options.h"
#include "run/session.h"
#include "run/video.h"

namespace qor {

namespace {

// >> frame sinks

bool WritePng(const std::string& path, const uint32_t* argb, int width, int height) {
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rgb[3 * i] = static_cast<unsigned char>(argb[i] >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(argb[i] >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(argb[i]);
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(width);
    ihdr.height = static_cast<uint32_t>(height);
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    int err = spng_set_png_file(ctx, file);
    if (!err) err = spng_set_ihdr(ctx, &ihdr);
    if (!err) err = spng_encode_image(ctx, rgb.data(), rgb.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    spng_ctx_free(ctx);
    const bool closed = std::fclose(file) == 0;
    return err == 0 && closed;
}

struct Sink {
    VideoKind kind = VideoKind::Folder;
    std::string folder;
    int64_t index = 0;          // next frame's number in the output
    bool failed = false;
    std::string error;
};

Sink gSink;
platform::PipedChild gFfmpeg;
bool gPresented = false;
std::string gTemporaryWav;   // removed on every way out
bool gBarOpen = false;       // the progress bar's line is not finished yet

void TakeFrame(const uint32_t* argb, int width, int height) {
    if (gSink.failed) return;
    if (gSink.kind == VideoKind::Folder) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06lld.png", static_cast<long long>(gSink.index));
        if (!WritePng(gSink.folder + name, argb, width, height)) {
            gSink.failed = true;
            gSink.error = "cannot write " + gSink.folder + name + ": " + std::strerror(errno);
        }
    } else {
        std::string why;
        if (!gFfmpeg.Write(argb, static_cast<size_t>(width) * height * 4, &why)) {
            gSink.failed = true;
            gSink.error = "ffmpeg stopped taking frames (" + why + ")";
        }
    }
    ++gSink.index;
}

void PresentToSink(const uint32_t* argb, int width, int height, void*) {
    TakeFrame(argb, width, height);
    NoteFrameShown(CurrentSession().frameTime);
    gPresented = true;
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "%steq: %s\n", gBarOpen ? "\n" : "", message.c_str());
    gFfmpeg.Finish();
    if (!gTemporaryWav.empty()) std::remove(gTemporaryWav.c_str());
    std::exit(1);
}

}  // namespace

void RunRender(FrameFunction frame) {
    Session& s = CurrentSession();
    const Options& o = CurrentOptions();
    const int fps = o.fps;
    const int rate = audio::kRate;
    double end = s.music.Duration();
    if (o.length > 0) end = std::min(end, o.start + o.length);
    const int64_t first = FirstFrameAt(o.start, fps);
    const int64_t last = FirstFrameAt(end, fps);   // frames first .. last-1, all with t < end
    if (last <= first) {
        char why[96];
        std::snprintf(why, sizeof why, "nothing to render: --start %g is at or past the end (%g s)", o.start, end);
        Fail(why);
    }
    const int64_t total = last - first;

    gSink = Sink{};
    gSink.kind = KindOf(o.renderFile);
    std::string wavPath;
    if (gSink.kind != VideoKind::Folder && !platform::FindProgram("ffmpeg"))
        Fail("ffmpeg not found: " + platform::HowToGetProgram("ffmpeg") + ", or render PNG frames to a folder");
    if (gSink.kind == VideoKind::Folder) {
        gSink.folder = o.renderFile;
        std::error_code ec;
        std::filesystem::create_directory(gSink.folder, ec);
        if (ec && !std::filesystem::exists(gSink.folder))
            Fail("cannot create the folder " + gSink.folder + ": " + ec.message());
        if (!std::filesystem::is_directory(gSink.folder, ec))
            Fail(gSink.folder + " is not a folder (video files end in .mp4, .mkv or .webm)");
        wavPath = gSink.folder + "/audio.wav";
    } else {
        wavPath = o.renderFile + ".audio.wav";
        gTemporaryWav = wavPath;
    }

    // The audio first, whole: each frame's level, and the WAV that ffmpeg or
    // the folder gets. The level's window reaches 1/50 s before the first frame.
    std::vector<float> levels(static_cast<size_t>(total));
    {
        const int64_t begin = AudioBoundary(first, fps, rate);
        const int64_t lead = std::min<int64_t>(begin, audio::LevelMeter::kWindow);
        s.music.Seek(begin - lead);
        s.meter.Reset(begin - lead);
        std::vector<float> buffer(2 * static_cast<size_t>(std::max<int64_t>(lead, rate / fps + 1)));
        s.music.Render(buffer.data(), static_cast<size_t>(lead));
        s.meter.Push(buffer.data(), static_cast<size_t>(lead));
        audio::WavWriter wav;
        if (!wav.Open(wavPath, rate)) Fail("cannot create " + wavPath + ": " + std::strerror(errno));
        for (int64_t n = first; n < last; ++n) {
            const int64_t from = AudioBoundary(n, fps, rate);
            const int64_t to = AudioBoundary(n + 1, fps, rate);
            levels[static_cast<size_t>(n - first)] = LevelFor(s, from);
            const size_t count = static_cast<size_t>(to - from);
            buffer.resize(std::max(buffer.size(), 2 * count));
            s.music.Render(buffer.data(), count);
            s.meter.Push(buffer.data(), count);
            if (!wav.Write(buffer.data(), count)) Fail("cannot write " + wavPath + ": " + std::strerror(errno));
        }
        if (!wav.Close()) Fail("cannot write " + wavPath + ": " + std::strerror(errno));
    }

    if (gSink.kind != VideoKind::Folder) {
        std::string why;
        if (!gFfmpeg.Start(FfmpegArguments(gSink.kind, wavPath, o.renderFile, render::Width(), render::Height(),
                                         fps, o.width, o.height),
                         &why))
            Fail("cannot start ffmpeg: " + why);
    }

    // Frames before the start still run, undrawn, for the states they leave.
    SetSoundLevel(0.0f);
    FastForward(frame, static_cast<double>(first) / fps);
    render::SetPresenter(PresentToSink, nullptr);
    const bool tty = platform::StderrIsTerminal();
    const auto began = std::chrono::steady_clock::now();
    double shownAt = -1.0;
    int shownDecile = -1;
    for (int64_t n = first; n < last && !gSink.failed; ++n) {
        const double t = static_cast<double>(n) / fps;
        s.frameTime = t;
        SetSoundLevel(levels[static_cast<size_t>(n - first)]);
        gPresented = false;
        frame(static_cast<float>(t));
        if (!gPresented) PresentToSink(render::Frame(), render::Width(), render::Height(), nullptr);

        const int64_t done = n + 1 - first;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const int decile = static_cast<int>(10 * done / total);
        if ((tty && (elapsed - shownAt >= 0.2 || done == total)) || (!tty && decile != shownDecile)) {
            std::fprintf(stderr, tty ? "\r%s" : "%s\n", ProgressLine(done, total, elapsed, fps).c_str());
            gBarOpen = tty;
            shownAt = elapsed;
            shownDecile = decile;
        }
    }
    if (gBarOpen) std::fputc('\n', stderr);
    gBarOpen = false;
    render::SetPresenter(nullptr, nullptr);

    if (gSink.kind != VideoKind::Folder) {
        const bool ok = gFfmpeg.Finish();
        std::remove(wavPath.c_str());
        gTemporaryWav.clear();
        if (gSink.failed) Fail(gSink.error);
        if (!ok) Fail("ffmpeg could not encode " + o.renderFile);
    } else if (gSink.failed) {
        Fail(gSink.error);
    }
    std::fprintf(stderr, "teq: rendered %lld frames to %s\n", static_cast<long long>(total),
                 o.renderFile.c_str());
}

}  // namespace qor
