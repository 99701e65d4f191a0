// The bytes of a text being written, the first 128 of them inside the object.
//
// A datasheet is about a hundred bytes and lives for one call: held on the
// caller's stack, writing it takes no heap memory at all. A longer text moves
// to a heap block that doubles as it grows, so any length can be written.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace orbalin::jsontext {

class TextBuffer {
public:
    static constexpr std::size_t inline_capacity = 128;

    TextBuffer() noexcept = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    TextBuffer(TextBuffer&&) = delete;
    TextBuffer& operator=(TextBuffer&&) = delete;
    ~TextBuffer() = default;

    void push_back(char byte) {
        if (size_ == capacity_) {
            grow(1);
        }
        data_[size_++] = byte;
    }

    TextBuffer& append(std::string_view text) {
        if (text.size() > capacity_ - size_) {
            grow(text.size());
        }
        if (!text.empty()) {  // an empty view may carry a null pointer
            std::memcpy(data_ + size_, text.data(), text.size());
            size_ += text.size();
        }
        return *this;
    }

    TextBuffer& append(std::size_t count, char byte) {
        if (count > capacity_ - size_) {
            grow(count);
        }
        std::memset(data_ + size_, byte, count);
        size_ += count;
        return *this;
    }

    [[nodiscard]] std::string_view view() const noexcept { return {data_, size_}; }
    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] bool on_heap() const noexcept { return heap_ != nullptr; }
    void clear() noexcept { size_ = 0; }

private:
    // Room for `more` bytes past the end: at least double. Throws std::bad_alloc.
    void grow(std::size_t more) {
        const std::size_t capacity = std::max(capacity_ * 2, size_ + more);
        auto block = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(block.get(), data_, size_);
        heap_ = std::move(block);
        data_ = heap_.get();
        capacity_ = capacity;
    }

    // Written before it is read; not zeroed, which would cost as much as the text.
    std::array<char, inline_capacity> inline_;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::unique_ptr<char[]> heap_;              // null while the text fits inline
    char* data_ = inline_.data();
    std::size_t size_ = 0;
    std::size_t capacity_ = inline_capacity;
};

}  // namespace orbalin::jsontext
