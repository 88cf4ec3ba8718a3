// The pure pieces of offline rendering: frame and audio boundaries, the
// output kind, ffmpeg's command line, the progress bar.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "run/video.h"

namespace qor {

int64_t AudioBoundary(int64_t frame, int fps, int rate) {
    // floor(frame * rate / fps) for negative frames too
    const int64_t num = frame * rate;
    return num >= 0 ? num / fps : -((-num + fps - 1) / fps);
}

double RenderFrameTime(int64_t n, int fps, const float* bounds, int boundCount) {
    const double t = static_cast<double>(n) / fps;
    const float shown = static_cast<float>(t);
    for (int i = 0; i < boundCount; ++i)
        if (shown == bounds[i]) return static_cast<double>(std::nextafter(shown, INFINITY));
    return t;
}

VideoKind VideoKindOf(const std::string& file) {
    auto endsWith = [&](const char* ext) {
        const size_t n = std::strlen(ext);
        if (file.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(file[file.size() - n + i])) != ext[i]) return false;
        return true;
    };
    if (endsWith(".mp4")) return VideoKind::Mp4;
    if (endsWith(".mkv")) return VideoKind::Mkv;
    if (endsWith(".webm")) return VideoKind::Webm;
    return VideoKind::Folder;
}

std::vector<std::string> FfmpegArguments(VideoKind kind, const std::string& wav, const std::string& file, int width,
                                         int height, int fps, int outWidth, int outHeight) {
    std::vector<std::string> a = {
        "ffmpeg",
        "-hide_banner",
        "-loglevel",
        "error",
        "-y",
        "-f",
        "rawvideo",
        "-pixel_format",
        "bgr0",
        "-video_size",
        std::to_string(width) + "x" + std::to_string(height),
        "-framerate",
        std::to_string(fps),
        "-i",
        "pipe:0",
        "-i",
        wav,
        "-map",
        "0:v",
        "-map",
        "1:a",
        // Whole multiples keep square pixels; any other size is scaled once, smoothly.
        "-vf",
        "scale=" + std::to_string(outWidth) + ":" + std::to_string(outHeight) +
            (outWidth % width == 0 && outHeight % height == 0 ? ":flags=neighbor" : ":flags=lanczos"),
        "-fflags",
        "+bitexact",
        "-flags:v",
        "+bitexact",
        "-flags:a",
        "+bitexact",
        "-map_metadata",
        "-1",
    };
    const std::vector<std::string> codecs =
        kind == VideoKind::Webm
            ? std::vector<std::string>{"-c:v",      "libvpx-vp9", "-crf",      "30",      "-b:v",    "0",
                                       "-deadline", "good",       "-cpu-used", "4",       "-row-mt", "1",
                                       "-pix_fmt",  "yuv420p",    "-c:a",      "libopus", "-b:a",    "160k"}
        : kind == VideoKind::Mkv
            ? std::vector<std::string>{"-c:v", "libx264",  "-preset", "veryfast", "-crf",
                                       "18",   "-pix_fmt", "yuv420p", "-c:a",     "flac"}
            : std::vector<std::string>{"-c:v",    "libx264", "-preset", "veryfast", "-crf", "18",        "-pix_fmt",
                                       "yuv420p", "-c:a",    "aac",     "-b:a",     "192k", "-movflags", "+faststart"};
    a.insert(a.end(), codecs.begin(), codecs.end());
    // The container is named, not guessed from the file name: the file is
    // written under a temporary name until it is whole.
    a.push_back("-f");
    a.push_back(kind == VideoKind::Webm ? "webm" : kind == VideoKind::Mkv ? "matroska" : "mp4");
    a.push_back(file);
    return a;
}

std::string ProgressLine(int64_t done, int64_t total, double elapsed, int fps) {
    constexpr int kBar = 24;
    const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const int filled = static_cast<int>(share * kBar);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBar - filled), '-');
    const double speed = elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0;   // frames/s
    char left[32] = "--:--";
    if (speed > 0) {
        const long s = std::lround(static_cast<double>(total - done) / speed);
        std::snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
    }
    char line[160];
    std::snprintf(line, sizeof line, "[%s] %lld/%lld frames %5.1f%%  %.1f fps (%.2fx)  %s left", bar.c_str(),
                  static_cast<long long>(done), static_cast<long long>(total), 100.0 * share, speed, speed / fps, left);
    return line;
}

}   // namespace qor
