#pragma once

// The web page's own transport of report rows between its workers: the workers that analyse
// shares of a batch hand their rows, results and all, to the one engine that renders the
// whole batch. Every field of a row travels bit for bit (the bytes of every real, not-a-number
// payloads and signed zeros included), so the rendered table, CSV, JSON and pictures are the
// very bytes the rows themselves give.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch_report.hpp"

namespace oskev::web {

// Bytes that are no packed rows: cut short, too long, or with a value no field can have.
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The rows as bytes, in order.
std::string pack_rows(const std::vector<analysis::ReportRow>& rows);

// The rows packed by pack_rows. Several packings joined end to end read as all their rows, in
// order. Throws TransportError for anything else.
std::vector<analysis::ReportRow> unpack_rows(std::string_view bytes);

}  // namespace oskev::web
