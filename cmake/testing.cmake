# GoogleTest programs run under Wine through CTest.
#
# tq_add_gtest(NAME [STATIC] SOURCES ... [LIBS ...])
#   Builds a test program (main: tests/support/test_main.cpp, which redirects
#   the per-user folders and registry) linked with t_common.dll, or with
#   STATIC the static library of the same objects, for tests that reach
#   internals or the test overrides (never both).
# tq_add_wine_test(TEST_NAME PROGRAM [WINVER v] [PREFIX name] [TZ tz] [XVFB] [LOCKS a b] [ARGS ...] [ENV K=V ...])
#   Runs PROGRAM under Wine. WINVER gives the run a prefix of its own that reports
#   that Windows version (`winecfg /v`); PREFIX a prefix of its own by that name
#   (for tests whose files no other test may touch); TZ is Microsoft's form
#   (CST-8, EST5EDT). XVFB runs it on a virtual X display (xvfb-run), for tests
#   of real windows; give such a test a PREFIX of its own.
#   LOCKS names shared per-user state the test changes ("appdata", "registry",
#   "exedir"), so that CTest never runs two such tests at once.
set(TQ_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
set(TQ_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set(TQ_WINE_ENV "TQ_WINE_ROOT=${TQ_WINE_ROOT}")
# 32-bit programs run under Debian's Wine in the root of scripts/wine32.sh,
# through its wrappers (the host's Wine is 64-bit only).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND TQ_WINE_ENV "TQ_WINE_BIN=${TQ_DEPS_DIR}/wine32/bin")
endif()

add_test(NAME wine_prefix COMMAND ${TQ_WINE_RUN} --prepare)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${TQ_WINE_ENV}")
add_test(NAME wine_stop COMMAND ${TQ_WINE_RUN} --stop-all)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${TQ_WINE_ENV}")

function(tq_add_gtest name)
  cmake_parse_arguments(ARG "STATIC" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  tq_target_defaults(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR})
  if(ARG_STATIC)
    set(library t_common_static)
  else()
    set(library t_common)
  endif()
  target_link_libraries(${name} PRIVATE ${library} tq_test_support GTest::gtest ${ARG_LIBS})
endfunction()

function(tq_add_wine_test test_name program)
  cmake_parse_arguments(ARG "XVFB" "WINVER;PREFIX;TZ" "ARGS;ENV;LOCKS" ${ARGN})
  set(env ${TQ_WINE_ENV})
  if(ARG_WINVER)
    list(APPEND env "TQ_WINVER=${ARG_WINVER}")
  endif()
  if(ARG_PREFIX)
    list(APPEND env "TQ_PREFIX=${ARG_PREFIX}")
  endif()
  if(ARG_TZ)
    list(APPEND env "TZ=${ARG_TZ}")
  endif()
  if(ARG_XVFB)
    list(APPEND env "TQ_XVFB=1")
  endif()
  list(APPEND env ${ARG_ENV})
  add_test(NAME ${test_name} COMMAND ${TQ_WINE_RUN} $<TARGET_FILE:${program}> ${ARG_ARGS})
  set_tests_properties(${test_name} PROPERTIES ENVIRONMENT "${env}" FIXTURES_REQUIRED wine)
  if(ARG_LOCKS)
    set_tests_properties(${test_name} PROPERTIES RESOURCE_LOCK "${ARG_LOCKS}")
  endif()
endfunction()
