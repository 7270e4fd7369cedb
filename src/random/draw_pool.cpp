#include "random/draw_pool.hpp"

namespace oskev::random {

unsigned helper_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? std::min(cores - 1, 7u) : 0u;
}

}  // namespace oskev::random
