#pragma once

#include "text/utf8.hpp"

namespace oskev::records {

using text::utf8_length;

}  // namespace oskev::records
