#include "run/render_output.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "assets/file.h"
#include "assets/output.h"
#include "platform/files.h"
#include "platform/system.h"

namespace qor {

namespace {

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

bool IsRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::regular;
}

// What an earlier render left in the folder (numbered frames, audio.wav, and
// the temporary files of one that was killed, which carry its tag) goes, so
// the folder holds this render alone; anything else in it stays, and so do
// folders and links of those names. One line says what went.
void ClearFolder(const std::string& folder, const std::string& killedTag) {
    std::error_code ec;
    int64_t frames = 0, others = 0;
    const std::string killedPart = killedTag.empty() ? std::string() : "." + killedTag + ".part";
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool part = !killedPart.empty() && EndsWith(name, killedPart);
        const bool frame = name.size() == 10 && name.compare(6, 4, ".png") == 0 &&
                           std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
        if ((!frame && !part && name != "audio.wav") || !IsRegularFile(it->path())) continue;
        std::error_code removed;
        if (std::filesystem::remove(it->path(), removed)) ++(frame ? frames : others);
    }
    if (frames > 0 || others > 0)
        std::fprintf(stderr, "teq: %s: removed %lld frames%s of an earlier render\n", Printable(folder).c_str(),
                     static_cast<long long>(frames), others > 0 ? " and the audio" : "");
}

// Takes the output's lock file; its text names the tag of the run that holds
// it ("teq TAG"). Left by a render that was killed, it tells which temporary
// files that render left: their tag goes to `killedTag`.
bool TakeLock(RenderOutput& r, const std::string& output, std::string& killedTag, std::string& error) {
    bool busy = false;
    std::string why;
    r.lock = platform::TakeFileLock(r.lockPath, busy, why);
    if (r.lock < 0) {
        error = busy ? "cannot render to " + Printable(output) + ": another teq is rendering to it"
                     : "cannot render to " + Printable(output) + ": lock file " + Printable(r.lockPath) + " " + why;
        return false;
    }
    char text[32] = {};
    const long n = platform::ReadSome(r.lock, text, sizeof text - 1);
    const std::string held(text, n > 0 ? size_t(n) : 0);
    const std::string mine = "teq " + RunTag() + "\n";
    const bool ours = held.size() == mine.size() && held.compare(0, 4, "teq ") == 0 && held.back() == '\n' &&
                      std::all_of(held.begin() + 4, held.end() - 1,
                                  [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    if (!held.empty() && !ours) {
        // Not a lock file of ours: left alone.
        platform::CloseFile(r.lock);
        r.lock = -1;
        error = "cannot render to " + Printable(output) + ": " + Printable(r.lockPath) +
                " is in the way (not teq's lock file)";
        return false;
    }
    if (ours) killedTag = held.substr(4, held.size() - 5);
    if (!platform::WriteAtStart(r.lock, mine)) {
        error = "cannot render to " + Printable(output) + ": cannot write " + Printable(r.lockPath) + ": " +
                std::strerror(errno);
        platform::DropFileLock(r.lock, r.lockPath);
        r.lock = -1;
        return false;
    }
    return true;
}

}   // namespace

bool OpenOutput(RenderOutput& out, const std::string& file, std::string& error) {
    out.kind = VideoKindOf(file);
    const std::string shown = Printable(file);
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string killedTag;
    if (out.kind != VideoKind::Folder) {
        if (!platform::FindProgram("ffmpeg")) {
            error = "ffmpeg not found: " + platform::HowToGetProgram("ffmpeg") + ", or render PNG frames to a folder";
            return false;
        }
        // The target: a file or nothing yet, in a folder this user can write.
        const fs::file_status st = fs::status(file, ec);
        if (ec && st.type() != fs::file_type::not_found) {
            error = "cannot write " + shown + ": " + ec.message();
            return false;
        }
        const std::string odd = NotAFile(file);
        if (!odd.empty()) {
            error = "cannot write " + shown + ": it " + odd;
            return false;
        }
        fs::path parent = fs::path(file).parent_path();
        if (parent.empty()) parent = ".";
        if (!fs::is_directory(parent, ec)) {
            error =
                "cannot write " + shown + ": " + (ec ? ec.message() : Printable(parent.string()) + " is not a folder");
            return false;
        }
        out.lockPath = file + ".teq-lock";
        if (!TakeLock(out, file, killedTag, error)) return false;
        if (!killedTag.empty()) {
            int removed = 0;
            for (const std::string& left :
                 {file + "." + killedTag + ".part", file + ".audio.wav." + killedTag + ".part"})
                if (IsRegularFile(left) && fs::remove(left, ec)) ++removed;
            if (removed > 0)
                std::fprintf(stderr, "teq: %s: removed the temporary files of a render that was killed\n",
                             shown.c_str());
        }
        // ffmpeg's file, created new now: the folder is writable and the name ours.
        const int fd = CreatePart(file);
        if (fd < 0) {
            error = "cannot write " + shown + ": " + std::strerror(errno);
            return false;
        }
        platform::CloseFile(fd);
        out.videoPart = PartName(file);
        out.wavPath = file + ".audio.wav";
        out.temporaryWav = true;
        return true;
    }
    out.folder = file;
    fs::create_directory(out.folder, ec);   // its error is said below if no folder is there now
    std::error_code seen;
    const fs::file_status st = fs::status(out.folder, seen);
    if (!fs::is_directory(st)) {
        const bool there = !seen && st.type() != fs::file_type::not_found;
        error = there ? shown + " is not a folder (video files end in .mp4, .mkv or .webm)"
                      : "cannot create the folder " + shown + ": " + (ec ? ec : seen).message();
        return false;
    }
    out.lockPath = out.folder + "/teq-lock";
    if (!TakeLock(out, file, killedTag, error)) return false;
    out.wavPath = out.folder + "/audio.wav";
    const std::string odd = NotAFile(out.wavPath);
    if (!odd.empty()) {
        error = "cannot write " + Printable(out.wavPath) + ": it " + odd;
        return false;
    }
    ClearFolder(out.folder, killedTag);
    return true;
}

void CloseOutput(RenderOutput& out) {
    platform::DropFileLock(out.lock, out.lockPath);
    out.lock = -1;
}

}   // namespace qor
