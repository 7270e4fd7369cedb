#include "random/draw_pool.hpp"

namespace oskev::random {

unsigned helper_threads() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  return 0;  // WebAssembly without threads: every draw on the calling thread
#endif
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? std::min(cores - 1, 7u) : 0u;
}

}  // namespace oskev::random
