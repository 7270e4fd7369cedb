#pragma once

// std::bit_cast where the standard library has it, and the same copy of the bytes where it does not
// (the WebAssembly build's library).

#include <cstring>
#include <type_traits>
#if __has_include(<bit>)
#include <bit>
#endif

namespace oskev::text {

template <typename To, typename From>
To bit_cast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
#if defined(__cpp_lib_bit_cast)
  return std::bit_cast<To>(from);
#else
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
#endif
}

}  // namespace oskev::text
