// The band queue: triangles binned by rows, rasterized in submission order per
// band. Worker threads (one fewer than the drawing threads) drain bands while
// the caller goes on producing; at the end of the frame the caller drains too.
// A band is held by one thread at a time (its busy flag), and each thread takes
// the free band with the most work left, so that all stay busy to the end of a
// frame. Every band's triangles are drawn in the order they were queued, by
// whichever thread, so the pixels do not depend on the number of threads. The producer publishes
// how far each band's list is filled with a release store, in batches, so a
// consumer sees complete triangles only. What the producer changes per
// triangle lives on cache lines the consumers do not read. Memory is fixed:
// when the triangle pool fills, the queue is drained and starts again.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "render/internal.h"
#include "render/render.h"
#include "render/simd.h"

namespace qor::render {

namespace {

constexpr uint32_t kMaxTris = 1u << 17;   // 16 MiB of triangles per batch
constexpr uint32_t kMaxStates = 1u << 15;
constexpr uint32_t kPublishTris = 64;
constexpr uint32_t kPublishArea = 32768;
constexpr uint32_t kPrefetchAhead = 4;   // triangles read ahead while drawing a band

// What every thread touches of a band, alone on its cache line: the producer's
// running count (filled) lives elsewhere, so appending a triangle does not
// pull the line away from a consumer polling it.
struct alignas(64) Band {
    std::atomic<uint32_t> published{0};
    std::atomic<uint32_t> consumed{0};   // written under busy; read as a hint outside
    std::atomic<bool> busy{false};
};

struct Queue {
    // Fixed while a batch is drawn: every thread reads these.
    Target target{};
    int bandCount = 0;
    std::unique_ptr<Band[]> bands;
    // Per band kMaxTris triangle indices. Left uninitialised: the pages are
    // touched only as far as triangles fill them, so the memory held grows
    // with what is drawn, not with the number of bands.
    std::unique_ptr<uint32_t[]> entryStore;
    std::vector<Tri> tris;           // capacity kMaxTris, never reallocated in a batch
    std::vector<DrawState> states;   // capacity kMaxStates
    DrawTriFn draw = DrawTriPortable;
    int threads = 0;                    // drawing threads, the caller's included (0: not chosen yet)
    std::vector<std::thread> workers;   // threads - 1 of them while running

    // The producer's counts, on their own cache lines: they change with every
    // triangle, and a consumer reading its neighbours would pull them away.
    alignas(64) uint32_t triCount = 0;
    uint32_t stateCount = 0;
    // Appended since the last publication: triangles and their boxes' pixels.
    uint32_t pendingTris = 0;
    uint64_t pendingArea = 0;
    std::array<uint32_t, kMaxFrameSide / kBandRows + 1> filled{};      // per band: entries appended
    std::array<uint32_t, kMaxFrameSide / kBandRows + 1> highWater{};   // per band: most entries ever appended
    size_t warmSlice = 0;                                              // KeepWarm's turn

    // Counts publications; the worker waits on it when idle.
    alignas(64) std::atomic<uint32_t> generation{0};
    alignas(64) std::atomic<int> sleeping{0};   // workers waiting on generation
    std::atomic<bool> stop{false};
};

Queue gQueue;

inline void Pause() {
#if TEQ_X86
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

void RunTri(const Tri& t, int y0, int y1) {
    Queue& q = gQueue;
    const Target& tg = q.target;
    if (t.flags & (kClearColor | kClearDepth)) {
        const size_t begin = size_t(y0) * tg.width, end = size_t(y1) * tg.width;
        if (t.flags & kClearColor) std::fill(tg.color + begin, tg.color + end, t.flatColor);
        if (t.flags & kClearDepth) std::fill(tg.depth + begin, tg.depth + end, 1.0f);
        return;
    }
    q.draw(t, q.states[t.state], tg, y0, y1);
}

// Processes what is published for band b if no other thread holds it.
// Returns true if it did any work.
bool TryBand(int b) {
    Queue& q = gQueue;
    Band& band = q.bands[b];
    if (band.published.load(std::memory_order_relaxed) == band.consumed.load(std::memory_order_relaxed)) return false;
    if (band.busy.exchange(true, std::memory_order_acquire)) return false;
    const uint32_t end = band.published.load(std::memory_order_acquire);
    bool did = false;
    const int y0 = b * kBandRows;
    const int y1 = std::min(q.target.height, y0 + kBandRows);
    uint32_t at = band.consumed.load(std::memory_order_relaxed);
    const uint32_t* const entries = q.entryStore.get() + size_t(b) * kMaxTris;
    while (at < end) {
        // The triangles were written a while ago, most often by another
        // thread: ask for the ones a few entries on before they are needed.
        if (at + kPrefetchAhead < end) {
            const char* next = reinterpret_cast<const char*>(&q.tris[entries[at + kPrefetchAhead]]);
            for (size_t line = 0; line < sizeof(Tri); line += 64) __builtin_prefetch(next + line);
        }
        RunTri(q.tris[entries[at]], y0, y1);
        ++at;
        did = true;
    }
    band.consumed.store(at, std::memory_order_relaxed);
    band.busy.store(false, std::memory_order_release);
    return did;
}

// The free band with the most published work left (in triangles), or -1.
// Taking the biggest first keeps every thread busy to the end of a frame.
int PickBand() {
    Queue& q = gQueue;
    int best = -1;
    uint32_t most = 0;
    for (int b = 0; b < q.bandCount; ++b) {
        const Band& band = q.bands[b];
        const uint32_t left =
            band.published.load(std::memory_order_relaxed) - band.consumed.load(std::memory_order_relaxed);
        if (left > most && !band.busy.load(std::memory_order_relaxed)) most = left, best = b;
    }
    return best;
}

void WorkerLoop() {
    Queue& q = gQueue;
    while (!q.stop.load(std::memory_order_relaxed)) {
        // Everything published before g was read is seen by the scan below.
        const uint32_t g = q.generation.load(std::memory_order_acquire);
        bool did = false;
        for (int b; (b = PickBand()) >= 0;) did |= TryBand(b);
        if (did) continue;
        // Spin a little (the producer usually publishes again soon), then sleep.
        for (int spin = 0; spin < 256 && q.generation.load(std::memory_order_relaxed) == g; ++spin) Pause();
        if (q.generation.load(std::memory_order_relaxed) != g) continue;
        q.sleeping.fetch_add(1);
        if (q.generation.load() == g && !q.stop.load()) q.generation.wait(g);
        q.sleeping.fetch_sub(1);
    }
}

void StopWorkers() {
    Queue& q = gQueue;
    if (q.workers.empty()) return;
    q.stop.store(true);
    q.generation.fetch_add(1);
    q.generation.notify_all();
    for (std::thread& w : q.workers) w.join();
    q.workers.clear();
    q.stop.store(false);
}

void StartWorkers() {
    Queue& q = gQueue;
    if (!q.workers.empty() || q.bandCount == 0) return;
    for (int i = 1; i < q.threads; ++i) q.workers.emplace_back(WorkerLoop);
}

// Reads one word in each of a few pages of the pool and the band lists (as
// far as they were ever filled), in turn, so that every page is read once in
// 256 frames (about four seconds).
// The first heavy frame after a light stretch would otherwise find the far end
// of the pool cold: a virtual machine's host may take away pages idle that
// long, and giving them back stalled such frames by 3 to 10 ms in our
// measurements. The caller has drained the queue.
void KeepWarm() {
    Queue& q = gQueue;
    constexpr size_t kPage = 4096, kSlices = 256;
    const auto touch = [](const void* data, size_t bytes, size_t slice) {
        const volatile char* p = static_cast<const volatile char*>(data);
        for (size_t at = slice * kPage; at < bytes; at += kSlices * kPage) (void)p[at];
    };
    for (int b = 0; b < q.bandCount; ++b)
        touch(q.entryStore.get() + size_t(b) * kMaxTris, q.highWater[b] * sizeof(uint32_t), q.warmSlice);
    touch(q.tris.data(), q.tris.size() * sizeof(Tri), q.warmSlice);
    q.warmSlice = (q.warmSlice + 1) % kSlices;
}

// Empties every band; the caller has drained the queue.
void Reset() {
    Queue& q = gQueue;
    for (int b = 0; b < q.bandCount; ++b) {
        Band& band = q.bands[b];
        while (band.busy.exchange(true, std::memory_order_acquire)) Pause();
        band.consumed.store(0, std::memory_order_relaxed);
        q.highWater[b] = std::max(q.highWater[b], q.filled[b]);
        q.filled[b] = 0;
        band.published.store(0, std::memory_order_relaxed);
        band.busy.store(false, std::memory_order_release);
    }
    q.triCount = 0;
    q.stateCount = 0;
    q.pendingTris = q.pendingArea = 0;
    KeepWarm();
}

struct AtExit {
    ~AtExit() { StopWorkers(); }
} gAtExit;

// A browser build without shared memory has no second thread to draw on.
constexpr bool kHaveThreads =
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    false;
#else
    true;
#endif

// Drawing threads unless told otherwise: one per core, at most kMaxThreads.
int DefaultThreads() {
    if (!kHaveThreads) return 1;
    // TEQ_RENDER_THREADS=N draws on N threads; 1 keeps the rasterizer on the
    // caller's thread (for profiling with instruction counts, which spinning
    // threads would blur).
    const int cores = int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxThreads));
    if (const char* env = std::getenv("TEQ_RENDER_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1 && n <= kMaxThreads) return int(n);
        std::fprintf(stderr, "teq: TEQ_RENDER_THREADS=%s is not a whole number 1 to %d; drawing on %d threads\n", env,
                     kMaxThreads, cores);
    }
    return cores;
}

}   // namespace

void QueueInit(const Target& target) {
    Queue& q = gQueue;
    if (q.bandCount > 0) QueueDrain();
    StopWorkers();
    q.target = target;
    q.bandCount = (target.height + kBandRows - 1) / kBandRows;
    q.bands = std::make_unique<Band[]>(size_t(q.bandCount));
    q.filled.fill(0);
    q.highWater.fill(0);
    q.entryStore.reset();
    q.entryStore.reset(new uint32_t[size_t(q.bandCount) * kMaxTris]);

    q.tris.resize(kMaxTris);
    q.states.resize(kMaxStates);
    q.triCount = q.stateCount = 0;
    // TEQ_RENDER_SIMD=0 draws with the portable loop, as on a processor
    // without vector instructions.
    const char* simd = std::getenv("TEQ_RENDER_SIMD");
    static const bool hasSimd = CpuHasSimd();
    q.draw = hasSimd && !(simd && !std::strcmp(simd, "0")) ? DrawTriSimd : DrawTriPortable;
    if (q.threads == 0) q.threads = DefaultThreads();   // else as QueueConfigure chose
    StartWorkers();
}

void QueueConfigure(bool simd, int threads) {
    Queue& q = gQueue;
    QueueDrain();
    StopWorkers();
    q.draw = simd && CpuHasSimd() ? DrawTriSimd : DrawTriPortable;
    q.threads = kHaveThreads ? std::clamp(threads, 1, kMaxThreads) : 1;
    StartWorkers();
}

int QueueThreads() { return gQueue.threads; }

bool QueueSimd() { return gQueue.draw == DrawTriSimd; }

uint32_t QueueState(const DrawState& state) {
    Queue& q = gQueue;
    if (q.stateCount == kMaxStates) QueueDrain();
    q.states[q.stateCount] = state;
    return q.stateCount++;
}

void QueueTri(const Tri& tri) {
    Queue& q = gQueue;
    if (q.triCount == kMaxTris) {
        // Keep the triangle's state across the drain.
        const DrawState state = q.states[tri.state];
        QueueDrain();
        Tri copy = tri;
        copy.state = QueueState(state);
        QueueTri(copy);
        return;
    }
    const uint32_t index = q.triCount++;
    q.tris[index] = tri;
    const int b0 = std::max(0, int(tri.minY) / kBandRows);
    const int b1 = std::min(q.bandCount - 1, int(tri.maxY) / kBandRows);
    uint32_t* const entries = q.entryStore.get();
    for (int b = b0; b <= b1; ++b) entries[size_t(b) * kMaxTris + q.filled[b]++] = index;
    ++q.pendingTris;
    const uint32_t columns =
        (tri.flags & (kClearColor | kClearDepth)) ? uint32_t(q.target.width) : uint32_t(tri.maxX - tri.minX + 1);
    q.pendingArea += uint64_t(columns) * uint32_t(tri.maxY - tri.minY + 1);
}

void QueuePublish() {
    Queue& q = gQueue;
    // Small batches stay with the producer a while: a consumer reading
    // triangles right behind the one being written pulls the cache lines
    // back and forth between the cores, which costs more than it gains.
    if (q.pendingTris < kPublishTris && q.pendingArea < kPublishArea) return;
    QueuePublishAll();
}

void QueuePublishAll() {
    Queue& q = gQueue;
    q.pendingTris = q.pendingArea = 0;
    bool any = false;
    for (int b = 0; b < q.bandCount; ++b) {
        Band& band = q.bands[b];
        if (band.published.load(std::memory_order_relaxed) != q.filled[b]) {
            band.published.store(q.filled[b], std::memory_order_release);
            any = true;
        }
    }
    if (!any || q.workers.empty()) return;
    q.generation.fetch_add(1);
    if (q.sleeping.load()) q.generation.notify_all();
}

void QueueDrain() {
    Queue& q = gQueue;
    if (q.bandCount == 0) return;
    QueuePublishAll();
    for (int idle = 0;;) {
        bool did = false;
        for (int b; (b = PickBand()) >= 0;) did |= TryBand(b);
        bool done = true;
        for (int b = 0; b < q.bandCount && done; ++b) {
            // Done when nobody holds the band and all of it is consumed
            // (consumed only grows, up to filled, and is written before busy
            // is released).
            const Band& band = q.bands[b];
            if (band.busy.load(std::memory_order_acquire) ||
                band.consumed.load(std::memory_order_relaxed) != q.filled[b])
                done = false;
        }
        if (done) break;
        // Waiting for the worker to finish a band: spin briefly, then give
        // the core away in case the worker is waiting for it.
        if (did)
            idle = 0;
        else if (++idle < 64)
            Pause();
        else
            std::this_thread::yield();
    }
    Reset();
}

}   // namespace qor::render
