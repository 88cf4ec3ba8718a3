#include "audio/faults.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace qor::audio {

std::vector<Fault> ParseFaults(const std::string& text, std::string* bad) {
    static const struct {
        const char* name;
        Fault::Kind kind;
        bool arg;
    } kKinds[] = {{"stall", Fault::Kind::Stall, true},
                  {"remove", Fault::Kind::Remove, false},
                  {"add", Fault::Kind::Add, false},
                  {"jump", Fault::Kind::Jump, true},
                  {"slow", Fault::Kind::Slow, true}};
    std::vector<Fault> faults;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        if (item.empty()) continue;
        const size_t at = item.find('@');
        const size_t colon = item.find(':');
        bool ok = false;
        for (const auto& k : kKinds) {
            if (item.compare(0, at, k.name) != 0 || at == std::string::npos) continue;
            if (k.arg != (colon != std::string::npos)) break;
            char* end = nullptr;
            Fault f{k.kind};
            f.at = std::strtod(item.c_str() + at + 1, &end);
            if (k.arg && *end == ':') f.arg = std::strtod(end + 1, &end);
            if (*end != '\0' || f.at < 0 || f.arg < 0) break;
            faults.push_back(f);
            ok = true;
            break;
        }
        if (!ok && bad) *bad += (bad->empty() ? "" : ",") + item;
    }
    return faults;
}

namespace {

std::mutex gLock;
std::vector<Fault>* gFaults = nullptr;

std::vector<Fault>& Faults() {
    if (!gFaults) {
        gFaults =
            new std::vector<Fault>;   // lives as long as the process (the callback may outlast exit's destructors)
        if (const char* text = std::getenv("TEQ_FAULTS")) {
            std::string bad;
            *gFaults = ParseFaults(text, &bad);
            if (!bad.empty()) std::fprintf(stderr, "teq: TEQ_FAULTS: ignored %s\n", bad.c_str());
        }
    }
    return *gFaults;
}

}   // namespace

bool TakeFault(Fault::Kind kind, double t, Fault* taken) {
    // Without the variable: no lock, in the audio callback or on any frame.
    static const bool kAsked = std::getenv("TEQ_FAULTS") != nullptr;
    if (!kAsked) return false;
    std::lock_guard<std::mutex> guard(gLock);
    std::vector<Fault>& faults = Faults();
    for (size_t i = 0; i < faults.size(); ++i) {
        if (faults[i].kind != kind || faults[i].at > t) continue;
        if (taken) *taken = faults[i];
        faults.erase(faults.begin() + static_cast<long>(i));
        return true;
    }
    return false;
}

}   // namespace qor::audio
