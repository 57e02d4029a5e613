#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vips {

// Moves of the short stretches that records write (most are a few dozen
// bytes): one choice of width, then two overlapping moves of that width,
// through registers, instead of a library call.

namespace short_moves {

template <std::size_t N>
struct Chunk {
  std::uint8_t bytes[N];
};
template <std::size_t N>
inline Chunk<N> Load(const std::uint8_t* from) {
  Chunk<N> chunk;
  std::memcpy(&chunk, from, N);
  return chunk;
}
template <std::size_t N>
inline void Store(std::uint8_t* to, const Chunk<N>& chunk) {
  std::memcpy(to, &chunk, N);
}

// Calls `move.template operator()<N>()` with a width N for `count` bytes,
// N <= count <= 2N, 1 <= count <= 64.
template <typename Move>
[[gnu::always_inline]] inline void ByWidth(std::size_t count, Move&& move) {
  if (count >= 16) {
    if (count >= 32) {
      move.template operator()<32>();
    } else {
      move.template operator()<16>();
    }
  } else if (count >= 4) {
    if (count >= 8) {
      move.template operator()<8>();
    } else {
      move.template operator()<4>();
    }
  } else if (count >= 2) {
    move.template operator()<2>();
  } else {
    move.template operator()<1>();
  }
}

}  // namespace short_moves

// memcpy of `count` bytes.
[[gnu::always_inline]] inline void CopyShort(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
  using namespace short_moves;
  if (count == 0 || count > 64) {
    std::memcpy(to, from, count);
    return;
  }
  ByWidth(count, [&]<std::size_t N>() {
    const Chunk<N> head = Load<N>(from);
    const Chunk<N> tail = Load<N>(from + count - N);
    Store<N>(to, head);
    Store<N>(to + count - N, tail);
  });
}

namespace short_moves {

// Exchanges `count` bytes, N <= count <= 2N.
template <std::size_t N>
inline void SwapWidth(std::uint8_t* a, std::uint8_t* b, std::size_t count) {
  const Chunk<N> aHead = Load<N>(a);
  const Chunk<N> aTail = Load<N>(a + count - N);
  const Chunk<N> bHead = Load<N>(b);
  const Chunk<N> bTail = Load<N>(b + count - N);
  Store<N>(a, bHead);
  Store<N>(a + count - N, bTail);
  Store<N>(b, aHead);
  Store<N>(b + count - N, aTail);
}

}  // namespace short_moves

// Exchanges `count` bytes of `a` with those of `b`; the two do not overlap.
[[gnu::always_inline]] inline void SwapShort(std::uint8_t* a, std::uint8_t* b, std::size_t count) {
  using namespace short_moves;
  for (; count > 64; a += 64, b += 64, count -= 64) SwapWidth<32>(a, b, 64);
  if (count == 0) return;
  ByWidth(count, [&]<std::size_t N>() { SwapWidth<N>(a, b, count); });
}

}  // namespace vips
