#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

// One fuzz target is one function over the raw input. Under libFuzzer each
// target is its own executable; the corpus replay links them all and finds them
// by name, so every corpus file also runs in the ordinary sanitizer build.
namespace orvelle::fuzz {

using Entry = int (*)(const std::uint8_t *data, std::size_t size);

inline std::map<std::string, Entry> &targets()
{
    static std::map<std::string, Entry> all;
    return all;
}

inline bool addTarget(const char *name, Entry entry)
{
    targets()[name] = entry;
    return true;
}

inline QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A broken promise of a decoder is a finding like a crash: stop loudly.
[[noreturn]] inline void failed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

} // namespace orvelle::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0) : orvelle::fuzz::failed(#condition, __FILE__, __LINE__))

#ifdef ORVELLE_LIBFUZZER
#define ORVELLE_FUZZ_TARGET(name)                                                                  \
    static int fuzz_##name(const std::uint8_t *data, std::size_t size);                            \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)              \
    {                                                                                              \
        return fuzz_##name(data, size);                                                            \
    }                                                                                              \
    static int fuzz_##name(const std::uint8_t *data, std::size_t size)
#else
#define ORVELLE_FUZZ_TARGET(name)                                                                  \
    static int fuzz_##name(const std::uint8_t *data, std::size_t size);                            \
    [[maybe_unused]] static const bool registered_##name =                                         \
        orvelle::fuzz::addTarget(#name, fuzz_##name);                                              \
    static int fuzz_##name(const std::uint8_t *data, std::size_t size)
#endif
