# What a client build gets: `cmake --install` lays out bin/ (our DLLs, tqutil
# and the C++ runtime they load), lib/ (import libraries), include/ (the public
# headers and our headers they include) and lib/cmake/t_common/ (the package
# that find_package(t_common) reads) and share/doc/t_common/README.md; CPack
# packs that tree as one ZIP.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TQ_ARCH x64)
else()
  set(TQ_ARCH x86)
endif()

install(TARGETS t_common t_base t_sqlite tqutil RUNTIME DESTINATION bin LIBRARY DESTINATION bin ARCHIVE DESTINATION lib)
install(FILES ${TQ_RUNTIME_DLLS} DESTINATION bin)
install(DIRECTORY include/ platform/sqlite/include/ platform/t_base/include/ DESTINATION include)
# Its section on client builds tells how to use this tree.
install(FILES README.md DESTINATION share/doc/t_common)

include(CMakePackageConfigHelpers)
set(TQ_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package-config)
configure_file(cmake/t_common-config.cmake.in ${TQ_PACKAGE_DIR}/t_common-config.cmake @ONLY)
# The version file also refuses a consumer of the other architecture.
write_basic_package_version_file(${TQ_PACKAGE_DIR}/t_common-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${TQ_PACKAGE_DIR}/t_common-config.cmake ${TQ_PACKAGE_DIR}/t_common-config-version.cmake
  DESTINATION lib/cmake/t_common)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME t_common)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME t_common-${PROJECT_VERSION}-${TQ_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
