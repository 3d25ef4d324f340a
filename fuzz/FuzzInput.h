#pragma once

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

    // A coordinate-like float, mostly near the image but sometimes anything.
    float Coordinate() {
        const uint8_t kind = Take<uint8_t>();
        if (kind < 200) return static_cast<float>(Take<int8_t>()) / 4.0f;
        return AnyFloat();
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};
