// Stands in for the C library's exp, log, log10 and pow (loaded with
// LD_PRELOAD), to show that two builds differ only through those functions:
//   TALLOWFIT_LIBM_RECORD=FILE  answers from the C library and writes every
//                               distinct call (function, arguments, result) to
//                               FILE at exit;
//   TALLOWFIT_LIBM_REPLAY=FILE  answers every call that FILE holds with the
//                               recorded result, any other from the C library,
//                               and reports on stderr at exit how many calls
//                               FILE answered and how many of those answers
//                               differ from this C library's own.
// A build that replays the table of another build sees exactly the C library
// results of the other: if the two then agree bit for bit, every difference
// between them came from the C library.
// Plain C runtime only (no libstdc++), so that it preloads into any process.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Function : uint64_t { kExp = 1, kLog = 2, kLog10 = 3, kPow = 4 };
const char* const kNames[] = {"", "exp", "log", "log10", "pow"};

struct Entry {
    uint64_t function;  // 0: empty slot
    uint64_t first;
    uint64_t second;
    uint64_t result;
};

struct Table {
    Entry* slots = nullptr;
    uint64_t capacity = 0;
    uint64_t used = 0;
};

Table table;
bool replaying = false;
bool recording = false;
const char* recordPath = nullptr;
uint64_t calls[5], answered[5], differing[5], largestUlps[5];

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double valueOf(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint64_t slotOf(uint64_t function, uint64_t first, uint64_t second, uint64_t capacity) {
    uint64_t h = function * 0x9E3779B97F4A7C15ull ^ first * 0xC2B2AE3D27D4EB4Full ^ second * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    return h & (capacity - 1);
}

Entry* find(const Table& t, uint64_t function, uint64_t first, uint64_t second) {
    if (t.capacity == 0) return nullptr;
    for (uint64_t i = slotOf(function, first, second, t.capacity);; i = (i + 1) & (t.capacity - 1)) {
        Entry* e = &t.slots[i];
        if (e->function == 0) return nullptr;
        if (e->function == function && e->first == first && e->second == second) return e;
    }
}

void insert(Table& t, const Entry& entry);

void grow(Table& t) {
    Table bigger;
    bigger.capacity = t.capacity ? t.capacity * 2 : 1 << 16;
    bigger.slots = static_cast<Entry*>(std::calloc(bigger.capacity, sizeof(Entry)));
    if (bigger.slots == nullptr) std::abort();
    for (uint64_t i = 0; i < t.capacity; ++i) {
        if (t.slots[i].function != 0) insert(bigger, t.slots[i]);
    }
    std::free(t.slots);
    t = bigger;
}

void insert(Table& t, const Entry& entry) {
    if (2 * (t.used + 1) > t.capacity) grow(t);
    uint64_t i = slotOf(entry.function, entry.first, entry.second, t.capacity);
    while (t.slots[i].function != 0) i = (i + 1) & (t.capacity - 1);
    t.slots[i] = entry;
    ++t.used;
}

int64_t ordered(uint64_t bits) {
    return (bits >> 63) ? -static_cast<int64_t>(bits & 0x7FFFFFFFFFFFFFFFull) : static_cast<int64_t>(bits);
}

void load(const char* path) {
    FILE* in = std::fopen(path, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "libm exchange: cannot read %s\n", path);
        std::exit(2);
    }
    Entry e;
    while (std::fread(&e, sizeof e, 1, in) == 1) insert(table, e);
    std::fclose(in);
}

__attribute__((constructor)) void start() {
    recordPath = std::getenv("TALLOWFIT_LIBM_RECORD");
    const char* replayPath = std::getenv("TALLOWFIT_LIBM_REPLAY");
    recording = recordPath != nullptr;
    replaying = replayPath != nullptr;
    if (replaying) load(replayPath);
}

__attribute__((destructor)) void finish() {
    if (recording) {
        FILE* out = std::fopen(recordPath, "wb");
        if (out == nullptr) return;
        for (uint64_t i = 0; i < table.capacity; ++i) {
            if (table.slots[i].function != 0) std::fwrite(&table.slots[i], sizeof(Entry), 1, out);
        }
        std::fclose(out);
        std::fprintf(stderr, "libm exchange: recorded %llu distinct calls\n",
                     static_cast<unsigned long long>(table.used));
    }
    if (replaying) {
        for (uint64_t f = kExp; f <= kPow; ++f) {
            std::fprintf(stderr,
                         "libm exchange: %-5s %9llu calls, %9llu answered from the table, %7llu of those "
                         "differ from this C library (up to %llu ulps)\n",
                         kNames[f], static_cast<unsigned long long>(calls[f]),
                         static_cast<unsigned long long>(answered[f]),
                         static_cast<unsigned long long>(differing[f]),
                         static_cast<unsigned long long>(largestUlps[f]));
        }
    }
}

template <typename Real>
Real resolve(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) std::abort();
    return reinterpret_cast<Real>(symbol);
}

double exchange(Function f, double first, double second, double own) {
    ++calls[f];
    const uint64_t a = bitsOf(first);
    const uint64_t b = bitsOf(second);
    Entry* e = find(table, f, a, b);
    if (replaying && e != nullptr) {
        ++answered[f];
        // Two NaNs count as the same answer: nothing downstream tells them apart.
        const bool bothNan = valueOf(e->result) != valueOf(e->result) && own != own;
        if (e->result != bitsOf(own) && !bothNan) {
            ++differing[f];
            const int64_t gap = ordered(e->result) - ordered(bitsOf(own));
            const uint64_t ulps = static_cast<uint64_t>(gap < 0 ? -gap : gap);
            if (ulps > largestUlps[f]) largestUlps[f] = ulps;
        }
        return valueOf(e->result);
    }
    if (recording && e == nullptr) insert(table, Entry{f, a, b, bitsOf(own)});
    return own;
}

typedef double (*Unary)(double);
typedef double (*Binary)(double, double);

}  // namespace

extern "C" {

__attribute__((visibility("default"))) double exp(double x) {
    static Unary real = resolve<Unary>("exp");
    return exchange(kExp, x, 0.0, real(x));
}

__attribute__((visibility("default"))) double log(double x) {
    static Unary real = resolve<Unary>("log");
    return exchange(kLog, x, 0.0, real(x));
}

__attribute__((visibility("default"))) double log10(double x) {
    static Unary real = resolve<Unary>("log10");
    return exchange(kLog10, x, 0.0, real(x));
}

__attribute__((visibility("default"))) double pow(double x, double y) {
    static Binary real = resolve<Binary>("pow");
    return exchange(kPow, x, y, real(x, y));
}

}  // extern "C"
