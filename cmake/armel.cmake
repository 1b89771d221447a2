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

# A real ARMv5TE CPU model, so that an instruction newer than the target
# fails instead of running on qemu's catch-all CPU.  The library path is
# pinned to the sysroot: with the multiarch libc6:armel installed, the
# sysroot's loader would otherwise take the host's newer libc.
set(ARMEL_CPU arm926 CACHE STRING "qemu CPU model the armel programs run on")
# Its static build where installed: the tests start it hundreds of times,
# and it starts about a quarter faster.
find_program(QEMU_ARM NAMES qemu-arm-static qemu-arm)
if(NOT QEMU_ARM)
  set(QEMU_ARM qemu-arm)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_ARM} -cpu ${ARMEL_CPU} -L ${ARMEL_SYSROOT}
    -E LD_LIBRARY_PATH=${ARMEL_SYSROOT}/lib)

set(CMAKE_FIND_ROOT_PATH ${ARMEL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
