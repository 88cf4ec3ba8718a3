#include "audio/soundtrack.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qor::audio {

int64_t SongFrame(double t) { return static_cast<int64_t>(std::floor(t * kRate + 1e-6)); }

void Soundtrack::Seek(int64_t position) {
    const int64_t lead = std::min<int64_t>(std::max<int64_t>(position, 0), LevelMeter::kWindow);
    music_.Seek(position - lead);
    meter_.Reset(position - lead);
    std::vector<float> buffer(2 * static_cast<size_t>(lead));
    Render(buffer.data(), static_cast<size_t>(lead));
}

void Soundtrack::Render(float* stereo, size_t frames) {
    music_.Render(stereo, frames);
    meter_.Push(stereo, frames);
}

void Soundtrack::RenderTo(int64_t position) {
    float chunk[2 * 1024];
    while (music_.Position() < position) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(position - music_.Position(), 1024));
        Render(chunk, n);
    }
}

float Soundtrack::LevelAt(int64_t position) const { return fixed_ ? level_ : meter_.LevelAt(position); }

void Soundtrack::FixLevel(float level) {
    fixed_ = true;
    level_ = level;
}

}   // namespace qor::audio
