# The header-only libraries of `oskev analyse` and GoogleTest for a cross-build, taken from the
# build machine's Debian packages. Their own package files would add the whole of /usr/include
# to the compiler's search path, where the build machine's C library headers would shadow the
# target's; so only each library's own folder is staged, as a link, in a folder of its own,
# and the same imported targets the package files define are made from that folder.
set(OSKEV_HOST_INCLUDE /usr/include CACHE PATH "Where the build machine keeps the header-only libraries")
set(oskev_staged ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${oskev_staged})
foreach(folder CLI nlohmann boost)
  if(NOT EXISTS ${OSKEV_HOST_INCLUDE}/${folder})
    message(FATAL_ERROR "${OSKEV_HOST_INCLUDE}/${folder} is missing: install libcli11-dev, "
                        "nlohmann-json3-dev and libboost-math-dev (scripts/ensure-tools)")
  endif()
  file(CREATE_LINK ${OSKEV_HOST_INCLUDE}/${folder} ${oskev_staged}/${folder} SYMBOLIC)
endforeach()
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json Boost::headers)
  add_library(${target} INTERFACE IMPORTED)
  target_include_directories(${target} SYSTEM INTERFACE ${oskev_staged})
endforeach()

# GoogleTest, built for the target from Debian's sources (libgtest-dev's /usr/src/googletest).
function(oskev_googletest_from_source)
  set(OSKEV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
  if(NOT EXISTS ${OSKEV_GTEST_SOURCE}/googletest/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's sources are missing from ${OSKEV_GTEST_SOURCE} (Debian: googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Its own build defines GTest::gtest and GTest::gtest_main, as the installed package does.
  add_subdirectory(${OSKEV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endfunction()
