// The texture store: pictures by file name, loaded once and kept for the
// life of the process, within one memory budget; the padded texel layout and
// block map the pixel loops read.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>

#include "assets/datadir.h"
#include "assets/file.h"
#include "assets/images.h"
#include "engine/qor.h"
#include "render/internal.h"
#include "render/render.h"

namespace qor::render {

void FillTexture(Texture& t, const uint32_t* argb, int width, int height) {
    t.width = width;
    t.height = height;
    t.stride = width + 1;
    t.pow2 = (width & (width - 1)) == 0 && (height & (height - 1)) == 0;
    t.opaque = std::all_of(argb, argb + size_t(width) * height, [](uint32_t c) { return c >> 24 == 0xFFu; });
    t.texels.assign(size_t(width + 1) * (height + 1), 0);
    for (int y = 0; y <= height; ++y) {
        const uint32_t* src = argb + size_t(y % height) * width;
        uint32_t* dst = &t.texels[size_t(y) * t.stride];
        std::memcpy(dst, src, size_t(width) * 4);
        dst[width] = src[0];
    }
    // Footprints starting at x in [2bx, 2bx + 1] reach texels up to 2bx + 2.
    const int bw = (width + 1) / 2, bh = (height + 1) / 2;
    t.blockStride = bw;
    t.blocks.assign(size_t(bw) * bh + 4, 0);   // 4 spare bytes: read as 32-bit words
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            uint8_t bits = 0;
            for (int y = 2 * by; y <= std::min(2 * by + 2, height); ++y)
                for (int x = 2 * bx; x <= std::min(2 * bx + 2, width); ++x) {
                    const uint32_t c = t.texels[size_t(y) * t.stride + x];
                    bits |= (c >> 24 ? 1 : 0) | (c & 0xFFFFFF ? 2 : 0);
                }
            t.blocks[size_t(by) * bw + bx] = bits;
        }
    size_t noAlpha = 0, noColor = 0;
    for (size_t i = 0; i < size_t(bw) * bh; ++i) noAlpha += !(t.blocks[i] & 1), noColor += !(t.blocks[i] & 2);
    const size_t quarter = size_t(bw) * bh / 4;
    t.sparse = uint8_t((noAlpha > quarter ? 1 : 0) | (noColor > quarter ? 2 : 0));
}

const Texture& PlaceholderTexture() {
    static const Texture grey = [] {
        Texture t;
        const uint32_t texel = 0xFF808080u;
        FillTexture(t, &texel, 1, 1);
        return t;
    }();
    return grey;
}

namespace {

// Textures by name. A texture's address stays the same for the life of the
// process (states and fonts hold it); a texture put in again under the same
// name is replaced in place.
std::unordered_map<std::string, std::unique_ptr<Texture>> gStore;

uint64_t gPictureBytes = 0;   // held by loaded pictures
uint64_t gPictureBudget = kPictureMemoryBudget;

// What a texture of a width x height picture will hold: padded texels and the block map.
uint64_t Cost(int width, int height) {
    return uint64_t(width + 1) * uint64_t(height + 1) * 4 + uint64_t((width + 1) / 2) * ((height + 1) / 2);
}

}   // namespace

Texture* LoadIntoStore(const char* file) {
    auto found = gStore.find(file);
    if (found != gStore.end()) return found->second.get();
    auto texture = std::make_unique<Texture>();
    Picture picture;
    std::string error;
    const std::string path = DataPath(file);
    // The budget is checked against the header's size, before any decoding:
    // a run of oversized pictures is refused at the cost of reading them.
    const auto fits = [](int width, int height, std::string& why) {
        if (gPictureBytes + Cost(width, height) <= gPictureBudget) return true;
        why = "not loaded, picture memory budget of " + std::to_string(gPictureBudget >> 20) + " MiB is used up";
        return false;
    };
    bool loaded = LoadPicture(path, picture, error, fits);
    if (loaded) {
        try {
            FillTexture(*texture, picture.argb.data(), picture.width, picture.height);
        } catch (const std::bad_alloc&) {
            *texture = Texture{};
            error = "not loaded, out of memory";
            loaded = false;
        }
    }
    if (loaded) {
        texture->loaded = true;
        gPictureBytes += Cost(picture.width, picture.height);
    } else {
        if (!DataDirReported()) std::fprintf(stderr, "teq: picture %s: %s\n", Printable(path).c_str(), error.c_str());
        *texture = PlaceholderTexture();
        texture->loaded = false;
    }
    Texture* raw = texture.get();
    gStore.emplace(file, std::move(texture));
    return raw;
}

const Texture* FindTexture(const char* name) {
    auto found = gStore.find(name);
    return found != gStore.end() ? found->second.get() : nullptr;
}

void AddTexture(const char* name, const uint32_t* argb, int width, int height) {
    if (!name || !argb || width <= 0 || height <= 0) return;
    QueueDrain();   // queued draws may still read a texture of that name
    Texture texture;
    FillTexture(texture, argb, width, height);
    texture.loaded = true;
    std::unique_ptr<Texture>& slot = gStore[name];
    if (!slot) slot = std::make_unique<Texture>();
    *slot = std::move(texture);
}

void SetPictureMemoryBudget(uint64_t bytes) {
    gPictureBudget = bytes;
    gPictureBytes = 0;
}

}   // namespace qor::render
