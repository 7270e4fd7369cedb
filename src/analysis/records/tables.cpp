#include "analysis/records/tables.hpp"

namespace oskev::records {

namespace {

std::string located(const std::string& file, std::size_t line, std::size_t column, const std::string& message) {
  std::string where = file;
  if (line != 0) where += ":" + std::to_string(line);
  if (line != 0 && column != 0) where += ":" + std::to_string(column);
  return where + ": " + message;
}

}  // namespace

TableError::TableError(std::string file, std::size_t line, std::size_t column, std::string message)
    : std::runtime_error(located(file, line, column, message)),
      file_(std::move(file)),
      line_(line),
      column_(column),
      message_(std::move(message)) {}

}  // namespace oskev::records
