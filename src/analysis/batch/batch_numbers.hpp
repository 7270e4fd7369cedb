#pragma once

#include <string>

namespace oskev::analysis {

// Number texts of the batch report. Values that are not finite (RRMH, Q and its limits when a
// zero cell is left uncorrected) are spelled NaN, Infinity and -Infinity, as on the console.

// The shortest decimal that reads back as exactly this single-precision value, e.g. 0.5470545
// for 0.5470545f, with "1e-05" style exponents where they are shorter. Most readers (JSON and
// CSV libraries) read a number into a double before narrowing it to a float; for the two
// floats +-7.038531e-26 the shortest decimal lies so close to the midpoint between two floats
// that this double rounding gives the neighbouring float, so those get one digit more
// (7.0385307e-26). Every text therefore reads back as the identical float either way.
std::string float_text(float value);

// The shortest decimal that reads back as exactly this double.
std::string double_text(double value);

// The double nearest to `float_text(value)` for a finite value, e.g. 0.5470545f gives the double
// 0.5470545 (not 0.54705452919006348): a printer of shortest doubles writes it back as that
// same short decimal, and narrowing it gives back the float. Other values pass unchanged.
double float_as_short_double(float value);

// Seven significant digits for people: fixed notation from 1E-04 up to 1E+07, otherwise
// d.ddddddE-xx; trailing zeros dropped (0.5, 2, 0.5470545, 1.234568E-05).
std::string seven_digits(double value);

}  // namespace oskev::analysis
