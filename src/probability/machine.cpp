#include "probability/machine.hpp"

#include <array>
#include <ostream>

#include "text/edit.hpp"

namespace oskev::probability {

namespace {

constexpr std::array<double, 8> kDouble = {
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::max(),
    0x1p-53,
    0x1p-52,
    0.3010299956639812,
    std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
};

constexpr std::array<float, 8> kSingle = {
    std::numeric_limits<float>::min(),
    std::numeric_limits<float>::max(),
    0x1p-24f,
    0x1p-23f,
    0.30103001f,
    std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
};

constexpr std::array<std::int32_t, 12> kInteger = {
    32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024,
};

void report_bad_index(std::string_view routine, std::int32_t n, errors::ErrorService& errors) {
  errors.E1PSH(routine);
  errors.E1VALI(1, n);
  errors.E1MES(errors::kTerminal, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  errors.E1POP(routine);
}

}  // namespace

double DMACH(std::int32_t n, errors::ErrorService& errors) {
  if (n < 1 || n > 8) {
    report_bad_index("DMACH", n, errors);
    return kDouble[5];
  }
  return kDouble[static_cast<std::size_t>(n - 1)];
}

float AMACH(std::int32_t n, errors::ErrorService& errors) {
  if (n < 1 || n > 8) {
    report_bad_index("AMACH", n, errors);
    return kSingle[5];
  }
  return kSingle[static_cast<std::size_t>(n - 1)];
}

std::int32_t IMACH(std::int32_t n, errors::ErrorService& errors) {
  if (n < 1 || n > 12) {
    std::int32_t unit = 0;
    errors.UMACH(2, unit);
    std::ostream& out = errors.unit_stream(unit);
    out << "  \n"
        << " *** TERMINAL ERROR 5 from IMACH.  The argument\n"
        << " ***          must be between 1 and 12 inclusive.\n"
        << " ***          N = " << text::edit_integer(n, 6) << ".\n"
        << "  \n";
    errors.stop();
  }
  return kInteger[static_cast<std::size_t>(n - 1)];
}

}  // namespace oskev::probability
