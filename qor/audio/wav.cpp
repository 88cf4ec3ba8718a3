#include "audio/wav.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

namespace qor::audio {

namespace {

void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// RIFF header of a 16-bit stereo PCM file holding `frames` frames.
void Header(unsigned char* h, int rate, int64_t frames) {
    const uint32_t data = static_cast<uint32_t>(std::min<int64_t>(frames * 4, 0xFFFFFFFFll - 36));
    std::copy_n("RIFF", 4, h);
    Put32(h + 4, 36 + data);
    std::copy_n("WAVEfmt ", 8, h + 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);   // PCM
    Put16(h + 22, 2);   // channels
    Put32(h + 24, static_cast<uint32_t>(rate));
    Put32(h + 28, static_cast<uint32_t>(rate) * 4);
    Put16(h + 32, 4);    // bytes per frame
    Put16(h + 34, 16);   // bits
    std::copy_n("data", 4, h + 36);
    Put32(h + 40, data);
}

}   // namespace

int16_t ToPcm16(float sample) {
    const float s = std::clamp(sample, -1.0f, 1.0f);
    return static_cast<int16_t>(std::lrint(s * 32767.0f));
}

WavWriter::~WavWriter() { Close(); }

void WavWriter::Fail(bool failed) {
    if (failed && !failed_) error_ = errno ? errno : EIO;
    failed_ = failed_ || failed;
}

bool TruncateWav(const std::string& path, int rate, int64_t frames) {
    unsigned char h[44];
    Header(h, rate, frames);
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file) return false;
    bool ok = std::fwrite(h, 1, sizeof h, file) == sizeof h;
    ok = std::fflush(file) == 0 && ok;
    ok = ::ftruncate(::fileno(file), static_cast<off_t>(44 + frames * 4)) == 0 && ok;
    return std::fclose(file) == 0 && ok;
}

bool WavWriter::Open(const std::string& path, int rate) {
    Close();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error_ = errno;
        return false;
    }
    return Open(file, rate);
}

bool WavWriter::Open(std::FILE* file, int rate) {
    Close();
    file_ = file;
    error_ = 0;
    frames_ = 0;
    failed_ = false;
    rate_ = rate;
    unsigned char h[44];
    Header(h, rate, 0);
    Fail(std::fwrite(h, 1, sizeof h, file_) != sizeof h);
    return !failed_;
}

bool WavWriter::Write(const float* stereo, size_t frames) {
    if (!file_ || failed_) return false;
    std::vector<unsigned char> bytes(frames * 4);
    for (size_t i = 0; i < 2 * frames; ++i) Put16(&bytes[2 * i], static_cast<uint16_t>(ToPcm16(stereo[i])));
    Fail(std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size());
    frames_ += static_cast<int64_t>(frames);
    return !failed_;
}

bool WavWriter::Close() {
    if (!file_) return true;
    unsigned char h[44];
    Header(h, rate_, frames_);
    Fail(std::fflush(file_) != 0);
    Fail(std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h);
    Fail(std::fclose(file_) != 0);
    file_ = nullptr;
    return !failed_;
}

}   // namespace qor::audio
