// A list of at most 32 value bytes held inline, so that reads and writes never allocate.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace smc {

class ByteList {
 public:
  static constexpr std::size_t kCapacity = 32;

  ByteList() = default;
  ByteList(std::initializer_list<std::uint8_t> bytes) { assign(bytes.begin(), bytes.size()); }
  explicit ByteList(std::span<const std::uint8_t> bytes) { assign(bytes.data(), bytes.size()); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const std::uint8_t* data() const { return data_.data(); }
  const std::uint8_t* begin() const { return data_.data(); }
  const std::uint8_t* end() const { return data_.data() + size_; }
  std::uint8_t operator[](std::size_t i) const { return data_[i]; }

  bool operator==(const ByteList& other) const {
    return std::equal(begin(), end(), other.begin(), other.end());
  }

 private:
  // Keeps the first 32 bytes of anything longer.
  void assign(const std::uint8_t* bytes, std::size_t count) {
    size_ = std::min(count, kCapacity);
    std::copy_n(bytes, size_, data_.begin());
  }

  std::array<std::uint8_t, kCapacity> data_{};
  std::size_t size_ = 0;
};

}  // namespace smc
