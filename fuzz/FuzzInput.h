#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads typed values off the fuzzer's bytes; past the end every value is 0.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }

    template <typename T> T Take() {
        T value{};
        const size_t n = size_ - position_ < sizeof(T) ? size_ - position_ : sizeof(T);
        if (n > 0) std::memcpy(&value, data_ + position_, n);
        position_ += n;
        return value;
    }

    // A value in 0..limit - 1.
    unsigned Below(unsigned limit) { return Take<uint8_t>() % limit; }

    // Any float bit pattern: NaN, infinities and huge values included.
    float AnyFloat() { return Take<float>(); }

    // Any long: mostly small, sometimes any 64-bit pattern or an extreme.
    long AnyLong() {
        const uint8_t kind = Take<uint8_t>();
        if (kind < 160) return Take<int8_t>();
        if (kind < 200) return Take<int16_t>();
        if (kind < 230) return static_cast<long>(Take<int64_t>());
        return Extreme(kind);
    }

    // A size for a new image: mostly small, sometimes one that no image can
    // have. Larger valid sizes would only make runs slow or exhaust memory.
    long Size(unsigned smallLimit) {
        static const long kImpossible[] = {
            LONG_MIN, LONG_MAX, INT32_MIN,
            -1,       0,        static_cast<long>(static_cast<unsigned long>(INT32_MAX) + 1)};
        const uint8_t kind = Take<uint8_t>();
        if (kind < 220) return static_cast<long>(Below(smallLimit));
        return kImpossible[kind % (sizeof kImpossible / sizeof kImpossible[0])];
    }

    // A coordinate-like float, mostly near the image but sometimes anything.
    float Coordinate() {
        const uint8_t kind = Take<uint8_t>();
        if (kind < 200) return static_cast<float>(Take<int8_t>()) / 4.0f;
        return AnyFloat();
    }

private:
    static long Extreme(uint8_t kind) {
        static const long kExtremes[] = {LONG_MIN,  LONG_MIN + 1, LONG_MAX, LONG_MAX - 1,
                                         INT32_MIN, INT32_MAX,    -1,       0};
        return kExtremes[kind % (sizeof kExtremes / sizeof kExtremes[0])];
    }

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};
