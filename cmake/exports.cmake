# The export list of a DLL, kept in the tree and checked at every link, as
# system libraries keep their ABI lists: an export that appears or disappears
# by accident fails the build.
#
# tq_check_exports(TARGET DIR)
#   Compares TARGET's exports with DIR/TARGET.<x86|x64>.exports (demangled,
#   sorted, one a line). After an intended change, rebuild with
#   -DTQ_UPDATE_EXPORTS=ON once to rewrite the list, and commit it.
option(TQ_UPDATE_EXPORTS "Rewrite the committed export lists from the built DLLs" OFF)
find_program(TQ_CXXFILT NAMES ${TQ_TRIPLE}-c++filt c++filt REQUIRED)

function(tq_check_exports target dir)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch x64)
  else()
    set(arch x86)
  endif()
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  target_link_options(${target} PRIVATE -Wl,--output-def,${def})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDEF=${def} -DLIST=${dir}/${target}.${arch}.exports
            -DCXXFILT=${TQ_CXXFILT} -DUPDATE=${TQ_UPDATE_EXPORTS}
            -P ${CMAKE_SOURCE_DIR}/cmake/check_exports.cmake
    VERBATIM)
endfunction()
