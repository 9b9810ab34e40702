# Debian's mingw-w64 g++ 12 with the posix thread model (std::thread, std::mutex).
set(CMAKE_C_COMPILER ${TQ_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TQ_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TQ_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TQ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The runtime DLLs the binaries load; copied beside them in the build and install trees.
set(TQ_RUNTIME_DLL_DIRS /usr/lib/gcc/${TQ_TRIPLE}/12-posix /usr/${TQ_TRIPLE}/lib)
