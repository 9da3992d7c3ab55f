# Cross build for Windows with MinGW-w64; the programs run under Wine.
#
# Without ZUL_MINGW_DEPS only the halves that need no Qt are built (the platform layer and the
# stand-in library with their tests). With ZUL_MINGW_DEPS, the folder scripts/mingw-deps.sh
# fills (Qt, SQLite and Crypto++ built for MinGW-w64), the whole program is built.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZUL_MINGW_DEPS)

if(ZUL_MINGW_DEPS)
    list(APPEND CMAKE_FIND_ROOT_PATH ${ZUL_MINGW_DEPS})
    list(APPEND CMAKE_PREFIX_PATH ${ZUL_MINGW_DEPS})
    # moc, uic and rcc of the Linux Qt of the same version.
    set(QT_HOST_PATH /usr)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
    # pkg-config looks only at the libraries built for Windows (Crypto++), never at the host's.
    set(ENV{PKG_CONFIG_LIBDIR} ${ZUL_MINGW_DEPS}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_PATH} "")
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
    # The C++ runtime is the DLL that Qt's DLLs use too (shipped beside the programs): a static
    # copy in each program would be a second runtime beside Qt's.
else()
    # Static runtime: the test programs run under Wine without hunting for the MinGW DLLs.
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -Wl,-Bstatic -lwinpthread -Wl,-Bdynamic")
