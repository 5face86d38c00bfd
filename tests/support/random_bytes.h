// Reproducible random inputs for the differential tests: a failure names
// its seed and reruns identically.
#ifndef EAPAKA_TESTS_SUPPORT_RANDOM_BYTES_H
#define EAPAKA_TESTS_SUPPORT_RANDOM_BYTES_H

#include <random>

#include "support/test_host.h"

class RandomBytes {
public:
    explicit RandomBytes(uint32_t seed) : engine_(seed) {}
    Bytes operator()(size_t n) {
        Bytes b(n);
        for (auto& x : b) x = static_cast<uint8_t>(engine_());
        return b;
    }
    size_t between(size_t lo, size_t hi) {
        return std::uniform_int_distribution<size_t>(lo, hi)(engine_);
    }

private:
    std::mt19937 engine_;
};

#endif
