#include "analysis/records/list_writer.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text/edit.hpp"

namespace oskev::records {

namespace {

struct RealForm {
  int width;       // w
  int digits;      // d, significant digits of the fixed form
  int exponent;    // e, digits of the exponent
};

constexpr RealForm kSingleForm{kSingleWidth, 7, 2};
constexpr RealForm kDoubleForm{kDoubleWidth, 15, 3};

// The decimal digits of |x| rounded to `significant` digits (exact rounding of the binary
// value, ties to even) and the decimal exponent of the first digit.
struct Decimal {
  std::string digits;
  int exponent;
};

Decimal round_decimal(double magnitude, int significant) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, magnitude);
  std::string text = buffer;
  const std::size_t e = text.find('e');
  Decimal result;
  result.exponent = std::atoi(text.c_str() + e + 1);
  for (std::size_t i = 0; i < e; ++i) {
    if (text[i] != '.') result.digits += text[i];
  }
  return result;
}

std::string general_form(double x, const RealForm& form) {
  if (const char* word = text::non_finite_text(x)) return text::right_justify(word, form.width);
  const std::string sign = x < 0 ? "-" : "";
  const int trailing = form.exponent + 2;
  if (x == 0) {
    std::string zero = "0." + std::string(static_cast<std::size_t>(form.digits), '0') + "E+" +
                       std::string(static_cast<std::size_t>(form.exponent), '0');
    return text::right_justify(zero, form.width);
  }
  const double magnitude = std::fabs(x);
  const Decimal rounded = round_decimal(magnitude, form.digits);
  // Fixed form when 0.1 <= rounded value < 10^d.
  if (rounded.exponent >= -1 && rounded.exponent <= form.digits - 1) {
    const int before = rounded.exponent + 1;  // digits before the point; 0 below 1
    std::string text = sign;
    if (before == 0) {
      text += "0." + rounded.digits;
    } else {
      text += rounded.digits.substr(0, static_cast<std::size_t>(before));
      text += '.';
      text += rounded.digits.substr(static_cast<std::size_t>(before));
    }
    return text::right_justify(text, form.width - trailing) + std::string(static_cast<std::size_t>(trailing), ' ');
  }
  // Exponent form shows one digit more.
  const Decimal longer = round_decimal(magnitude, form.digits + 1);
  std::string exponent = std::to_string(std::abs(longer.exponent));
  if (static_cast<int>(exponent.size()) < form.exponent) {
    exponent.insert(0, static_cast<std::size_t>(form.exponent) - exponent.size(), '0');
  }
  std::string text = sign + longer.digits.substr(0, 1) + "." + longer.digits.substr(1) + "E" +
                     (longer.exponent < 0 ? "-" : "+") + exponent;
  return text::right_justify(text, form.width);
}

}  // namespace

std::string format_integer(std::int32_t value) { return text::right_justify(std::to_string(value), kIntegerWidth); }
std::string format_single(float value) { return general_form(static_cast<double>(value), kSingleForm); }
std::string format_double(double value) { return general_form(value, kDoubleForm); }

std::string Item::field() const {
  switch (kind_) {
    case Kind::kText: return std::string(text_);
    case Kind::kInteger: return format_integer(integer_);
    case Kind::kSingle: return format_single(single_);
    case Kind::kDouble: return format_double(double_);
  }
  return {};
}

std::vector<std::string> layout_records(std::span<const Item> items) {
  std::vector<std::string> records;
  std::string record;
  for (const Item& item : items) {
    const std::string field = item.field();
    const std::size_t room = kRecordLength - std::min(record.size(), kRecordLength);
    if (item.kind() == Item::Kind::kText) {
      if (!record.empty() && field.size() > room) {
        records.push_back(std::move(record));
        record.clear();
      }
      if (record.empty()) record.assign(1, ' ');
      record += field;
    } else {
      if (!record.empty() && field.size() > room) {
        records.push_back(std::move(record));
        record.clear();
      }
      record += field;
    }
  }
  records.push_back(std::move(record));
  return records;
}

void ListWriter::write(std::initializer_list<Item> items) {
  write(std::span<const Item>(items.begin(), items.size()));
}

void ListWriter::write(std::span<const Item> items) {
  std::string text;
  for (const std::string& record : layout_records(items)) {
    text += record;
    text += '\n';
  }
  out_ << text;
}

void ListWriter::empty_line() { write({" "}); }

}  // namespace oskev::records
