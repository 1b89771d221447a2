# Cross build for 32-bit ARM Linux, EABI soft-float (Debian armel), run
# under qemu-user on the build machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CROSS_COMPILE "arm-linux-gnueabi-" CACHE STRING "Cross tool prefix")
set(ARMEL_SYSROOT "/usr/arm-linux-gnueabi" CACHE PATH "Target libraries")

set(CMAKE_C_COMPILER ${CROSS_COMPILE}gcc)
set(CMAKE_CXX_COMPILER ${CROSS_COMPILE}g++)
set(CMAKE_C_FLAGS_INIT "-march=armv5te")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${ARMEL_SYSROOT})

set(CMAKE_FIND_ROOT_PATH ${ARMEL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
