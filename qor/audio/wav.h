// WAV files of the rendered music: 16-bit PCM stereo, written as the frames
// come and finished with the right sizes. Samples are clamped to -1..1 and
// rounded, so the same floats always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qor::audio {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool Open(const std::string& path, int rate);     // false: cannot create
    bool Open(std::FILE* file, int rate);             // writes to `file` (owned from here on)
    bool Write(const float* stereo, size_t frames);   // false: write error
    bool Close();                                     // writes the sizes; false on error
    int Error() const { return error_; }              // errno of the first failure, 0 if none

private:
    void Fail(bool failed);   // records the first failure and its errno

    std::FILE* file_ = nullptr;
    int64_t frames_ = 0;
    int rate_ = 0;
    bool failed_ = false;
    int error_ = 0;
};

// Cuts a finished WAV file of this writer's format down to its first `frames`
// frames, sizes in the header included. false with errno set on failure.
bool TruncateWav(const std::string& path, int rate, int64_t frames);

// 16-bit sample of a float in -1..1 (clamped, rounded to nearest).
int16_t ToPcm16(float sample);

}   // namespace qor::audio
