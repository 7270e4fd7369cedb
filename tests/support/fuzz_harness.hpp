#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace oskev::testing {

// Arbitrary bytes read as list-directed input, a series of reads of integers and reals whose
// pattern the first byte picks. Returns a description of a broken promise, if any: a read
// may succeed or fail with one of its three conditions, nothing else.
std::optional<std::string> fuzz_list_reader(const std::uint8_t* data, std::size_t size);

// A whole in-process run of either program driven by arbitrary bytes: the first byte picks
// the program and the seed, the bytes up to the first zero byte are the answers, the bytes
// after it study.txt (without a zero byte there is no study.txt). Runs are capped at 30 and
// redrawn totals at 10000 a run and 200000 in all, so that every input runs quickly.
// Returns a description of a broken promise, if any: the exit status is one of the known
// ones, a complete run leaves a 14-record output.txt, any other run leaves none, and no
// temporary file stays behind.
std::optional<std::string> fuzz_whole_run(const std::uint8_t* data, std::size_t size);

}  // namespace oskev::testing
