# Third-party code, all from Debian's archive through scripts/setup.sh.

# Boost headers for the target: a folder that holds only boost/, never the host's /usr/include.
add_library(tq_boost INTERFACE)
target_include_directories(tq_boost SYSTEM INTERFACE ${TQ_DEPS_DIR}/boost-include)
target_compile_definitions(tq_boost INTERFACE BOOST_ALL_NO_LIB BOOST_USE_WINDOWS_H)

if(TQ_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

if(TQ_BUILD_BENCHMARKS)
  set(BENCHMARK_ENABLE_TESTING OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_WERROR OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_GTEST_TESTS OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_INSTALL_DOCS OFF CACHE BOOL "" FORCE)
  # Debian's tree has no git tags to read the version from; its regex and clock
  # checks cannot run when cross-compiling, and both features are in libstdc++.
  set(GIT_VERSION 1.7.1)
  set(HAVE_STD_REGEX 1)
  set(HAVE_STEADY_CLOCK 1)
  add_subdirectory(${TQ_DEPS_DIR}/benchmark ${CMAKE_BINARY_DIR}/_deps/benchmark EXCLUDE_FROM_ALL SYSTEM)
endif()
