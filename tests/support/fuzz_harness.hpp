#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace oskev::testing {

// Arbitrary bytes read as list-directed input, a series of reads of integers and reals whose
// pattern the first byte picks. Returns a description of a broken promise, if any: a read
// may succeed or fail with one of its three conditions, nothing else; its message is one
// short line; and the reader holds a bounded number of bytes whatever the lines.
std::optional<std::string> fuzz_list_reader(const std::uint8_t* data, std::size_t size);

// A whole in-process run of either program driven by arbitrary bytes: the first byte picks
// the program and the seed, and with the seed's lowest bit a picture (--plot picture.svg);
// the bytes up to the first zero byte are the answers, the bytes after it study.txt (without
// a zero byte there is no study.txt). Runs are capped at 30 and redrawn totals at 10000 a run
// and 200000 in all, so that every input runs quickly. Returns a description of a broken
// promise, if any: the exit status is one of the known ones, a complete run leaves a
// 14-record output.txt and, when asked, a whole SVG picture, any other run leaves neither,
// a report on standard error is short, and no temporary file stays behind.
std::optional<std::string> fuzz_whole_run(const std::uint8_t* data, std::size_t size);

// A table of studies from arbitrary bytes, analysed by `oskev analyse -f json -` itself,
// in-process, with the table as its standard input: the first byte picks the type of
// estimation, the corrections and sequential stopping, the second the runs (1 to 16) and the
// seed; the rest is the file. Inputs of more than 400 studies are passed over. Returns a
// description of a broken promise, if any: a file is read or refused with its own name and
// place; every meta-analysis is analysed or stopped with a status and a message; its counts add
// up; and the report is a JSON document that reads back with one entry per meta-analysis.
std::optional<std::string> fuzz_analyse(const std::uint8_t* data, std::size_t size);

}  // namespace oskev::testing
