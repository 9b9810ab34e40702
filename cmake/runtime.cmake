# The DLL and its callers share one C++ runtime: link it dynamically and ship its DLLs beside ours.
set(TQ_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  find_file(TQ_DLL_${dll} ${dll} PATHS ${TQ_RUNTIME_DLL_DIRS} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(TQ_DLL_${dll})
    list(APPEND TQ_RUNTIME_DLLS ${TQ_DLL_${dll}})
    file(COPY ${TQ_DLL_${dll}} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  endif()
endforeach()
