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

    bool Open(const std::string& path, int rate);   // false: cannot create
    bool Write(const float* stereo, size_t frames);  // false: write error
    bool Close();                                    // writes the sizes; false on error

private:
    std::FILE* file_ = nullptr;
    int64_t frames_ = 0;
    int rate_ = 0;
    bool failed_ = false;
};

// 16-bit sample of a float in -1..1 (clamped, rounded to nearest).
int16_t ToPcm16(float sample);

}  // namespace qor::audio
