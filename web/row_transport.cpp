#include "row_transport.hpp"

#include <array>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>

namespace oskev::web {

namespace {

using namespace oskev::analysis;

// Each structure lists its fields once, for packing and unpacking alike, through a structured
// binding: a field added to the structure and not here stops the build at that binding.
template <typename T, typename Of>
concept Like = std::same_as<std::remove_const_t<T>, Of>;

template <typename A>
void fields(A& a, Like<Model> auto& m) {
  auto& [prevalence, cc_one, cc_both] = m;
  a(prevalence, cc_one, cc_both);
}

template <typename A>
void fields(A& a, Like<RedrawLimits> auto& l) {
  auto& [per_run, in_all] = l;
  a(per_run, in_all);
}

template <typename A>
void fields(A& a, Like<Tuning> auto& t) {
  auto& [spread, tables_per_slice, redraw_limits, zero_test, stated_studies] = t;
  a(spread, tables_per_slice, redraw_limits, zero_test, stated_studies);
}

template <typename A>
void fields(A& a, Like<Run> auto& r) {
  auto& [seed, runs, stop_after, level, tuning] = r;
  a(seed, runs, stop_after, level, tuning);
}

template <typename A>
void fields(A& a, Like<StudyTable> auto& t) {
  auto& [NCOUNT, COUNT, NTOT, PRODA, PRODC, RR, VLOGRR, WEIGHT, SELOGRR, RRLL, RRUL] = t;
  a(NCOUNT, COUNT, NTOT, PRODA, PRODC, RR, VLOGRR, WEIGHT, SELOGRR, RRLL, RRUL);
}

template <typename A>
void fields(A& a, Like<ObservedStatistics> auto& o) {
  auto& [SUMA, SUMC, RRMH, Q, DF, PASYM] = o;
  a(SUMA, SUMC, RRMH, Q, DF, PASYM);
}

template <typename A>
void fields(A& a, Like<Result> auto& r) {
  auto& [table, observed, p_upper, p_lower, log_rrmh_variance, rrmh_lower, rrmh_upper, i_squared, runs, not_above,
         undefined, stopped_early, pemp, p_left, p_left_plus_one, mc_standard_error, p_left_lower, p_left_upper,
         interval, seed, level] = r;
  a(table, observed, p_upper, p_lower, log_rrmh_variance, rrmh_lower, rrmh_upper, i_squared, runs, not_above,
    undefined, stopped_early, pemp, p_left, p_left_plus_one, mc_standard_error, p_left_lower, p_left_upper, interval,
    seed, level);
}

template <typename A>
void fields(A& a, Like<ReportRow> auto& row) {
  auto& [source, name, status, message, studies, model, run, result] = row;
  a(source, name, status, message, studies, model, run, result);
}

// The most values of one kind a row can hold: more is no packing of ours.
constexpr std::uint64_t kMostElements = std::uint64_t{1} << 31;

// Integers travel as 64 bits (whatever the width of long or size_t where they were packed),
// reals as their own bytes, enumerations as their value, both checked when read.
template <typename T>
constexpr bool kInteger = std::is_integral_v<T> && !std::is_same_v<T, bool>;

template <typename T>
constexpr int kLastEnumerator = 0;
template <>
constexpr int kLastEnumerator<Prevalence> = static_cast<int>(Prevalence::kRandom);
template <>
constexpr int kLastEnumerator<ZeroTest> = static_cast<int>(ZeroTest::kAtMostZero);
template <>
constexpr int kLastEnumerator<IntervalKind> = static_cast<int>(IntervalKind::kInverseBinomial);

class Packer {
 public:
  template <typename... T>
  void operator()(const T&... values) {
    (put(values), ...);
  }

  std::string bytes;

 private:
  void raw(const void* from, std::size_t size) { bytes.append(static_cast<const char*>(from), size); }
  void count(std::size_t n) { put(static_cast<std::uint64_t>(n)); }

  template <typename T>
  void put(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
      put(static_cast<std::uint8_t>(value ? 1 : 0));
    } else if constexpr (std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint64_t> ||
                         std::is_floating_point_v<T>) {
      raw(&value, sizeof value);
    } else if constexpr (kInteger<T>) {
      put(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
    } else if constexpr (std::is_enum_v<T>) {
      put(static_cast<std::int64_t>(value));
    } else {
      fields(*this, value);
    }
  }
  void put(const std::string& text) {
    count(text.size());
    raw(text.data(), text.size());
  }
  template <typename T>
  void put(const std::optional<T>& value) {
    put(value.has_value());
    if (value) put(*value);
  }
  template <typename T>
  void put(const std::vector<T>& values) {
    count(values.size());
    for (const T& value : values) put(value);
  }
  template <typename T, std::size_t N>
  void put(const std::array<T, N>& values) {
    for (const T& value : values) put(value);
  }
};

class Unpacker {
 public:
  explicit Unpacker(std::string_view bytes) : bytes_(bytes) {}

  template <typename... T>
  void operator()(T&... values) {
    (get(values), ...);
  }

  bool done() const { return bytes_.empty(); }

 private:
  [[noreturn]] static void fail(const char* why) { throw TransportError(std::string("packed rows: ") + why); }

  void raw(void* to, std::size_t size) {
    if (bytes_.size() < size) fail("cut short");
    std::memcpy(to, bytes_.data(), size);
    bytes_.remove_prefix(size);
  }
  std::size_t count() {
    std::uint64_t n = 0;
    get(n);
    if (n > kMostElements || n > bytes_.size()) fail("a length beyond the bytes");
    return static_cast<std::size_t>(n);
  }

  template <typename T>
  void get(T& value) {
    if constexpr (std::is_same_v<T, bool>) {
      std::uint8_t b = 0;
      get(b);
      if (b > 1) fail("a truth value other than 0 or 1");
      value = b == 1;
    } else if constexpr (std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint64_t> ||
                         std::is_floating_point_v<T>) {
      raw(&value, sizeof value);
    } else if constexpr (kInteger<T>) {
      std::uint64_t bits = 0;
      get(bits);
      const auto wide = static_cast<std::int64_t>(bits);
      if (!std::in_range<T>(wide)) fail("an integer out of its field's range");
      value = static_cast<T>(wide);
    } else if constexpr (std::is_enum_v<T>) {
      std::int64_t code = 0;
      get(code);
      if (code < 0 || code > kLastEnumerator<T>) fail("an unknown enumerator");
      value = static_cast<T>(code);
    } else {
      fields(*this, value);
    }
  }
  void get(std::string& text) {
    const std::size_t n = count();
    text.assign(bytes_.substr(0, n));
    bytes_.remove_prefix(n);
  }
  template <typename T>
  void get(std::optional<T>& value) {
    bool present = false;
    get(present);
    value.reset();
    if (present) get(value.emplace());
  }
  template <typename T>
  void get(std::vector<T>& values) {
    values.assign(count(), T{});
    for (T& value : values) get(value);
  }
  template <typename T, std::size_t N>
  void get(std::array<T, N>& values) {
    for (T& value : values) get(value);
  }

  std::string_view bytes_;
};

}  // namespace

std::string pack_rows(const std::vector<ReportRow>& rows) {
  Packer packer;
  for (const ReportRow& row : rows) packer(row);
  return std::move(packer.bytes);
}

std::vector<ReportRow> unpack_rows(std::string_view bytes) {
  Unpacker unpacker(bytes);
  std::vector<ReportRow> rows;
  while (!unpacker.done()) unpacker(rows.emplace_back());
  return rows;
}

}  // namespace oskev::web
