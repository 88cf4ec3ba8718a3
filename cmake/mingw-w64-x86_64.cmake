# Cross-compiling teq for 64-bit Windows with Debian's mingw-w64, "-posix"
# thread model (the "-win32" one has no std::thread or std::mutex in GCC 12).
# TEQ_MINGW_PREFIX names the folder the cross-built libraries live in
# (tools/libs/build.sh mingw prints it); pkg-config then looks only there,
# with --static, since teq.exe links every library into itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TEQ_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TEQ_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TEQ_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${TEQ_MINGW_HOST}-windres)
set(CMAKE_AR ${TEQ_MINGW_HOST}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${TEQ_MINGW_HOST}-gcc-ranlib-posix CACHE FILEPATH "")

# The prefix reaches try_compile's nested projects through the environment.
if(TEQ_MINGW_PREFIX)
  set(ENV{TEQ_MINGW_PREFIX} "${TEQ_MINGW_PREFIX}")
elseif(DEFINED ENV{TEQ_MINGW_PREFIX})
  set(TEQ_MINGW_PREFIX "$ENV{TEQ_MINGW_PREFIX}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${TEQ_MINGW_HOST} ${TEQ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(TEQ_MINGW_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${TEQ_MINGW_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
  set(PKG_CONFIG_ARGN --static)
endif()
