#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace klar {

/// A buffer whose address suits writes past the system's cache (kDirectAlignment). Allocated
/// once and kept, so that a job's memory stays flat however much it writes.
class AlignedBuffer {
public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(std::size_t size)
        : data_(
              static_cast<std::uint8_t*>(::operator new(size, std::align_val_t{kDirectAlignment}))),
          size_(size) {}
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    AlignedBuffer& operator=(AlignedBuffer&& other) noexcept {
        if (this != &other) {
            Free();
            data_ = other.data_;
            size_ = other.size_;
            other.data_ = nullptr;
            other.size_ = 0;
        }
        return *this;
    }
    ~AlignedBuffer() { Free(); }

    [[nodiscard]] std::uint8_t* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }
    void fill(std::uint8_t value) {
        if (data_ != nullptr) {
            std::memset(data_, value, size_);
        }
    }

private:
    void Free() {
        if (data_ != nullptr) {
            ::operator delete(data_, std::align_val_t{kDirectAlignment});
            data_ = nullptr;
        }
    }

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace klar
