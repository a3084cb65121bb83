# Cross build for the Debian architecture whose GNU triple is CROSS_TRIPLE
# (aarch64-linux-gnu, say), with Debian's g++-CROSS_TRIPLE, or with clang++
# --target=CROSS_TRIPLE where CROSS_CLANG is set, which takes the GNU cross
# toolchain's libraries and linker all the same. The tests run the programs
# under qemu-user, with the target's libraries from the cross root.
# CROSS_PROCESSOR, where set, is what the system says of its CPU, as a
# 32-bit ARM system on a 64-bit kernel says aarch64.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" cpu "${CROSS_TRIPLE}")
if(CROSS_PROCESSOR)
  set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})
else()
  set(CMAKE_SYSTEM_PROCESSOR ${cpu})
endif()
if(CROSS_CLANG)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER_TARGET ${CROSS_TRIPLE})
  set(CMAKE_C_COMPILER_TARGET ${CROSS_TRIPLE})
else()
  set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
  set(CMAKE_C_COMPILER ${CROSS_TRIPLE}-gcc)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CROSS_TRIPLE CROSS_CLANG CROSS_PROCESSOR)
# The target's own objcopy and strip, which the g++ cross packages bring:
# for clang, CMake would otherwise take llvm's where installed, or else the
# machine's own, which reads none but its own CPU's programs.
find_program(CMAKE_OBJCOPY ${CROSS_TRIPLE}-objcopy)
find_program(CMAKE_STRIP ${CROSS_TRIPLE}-strip)

# qemu calls two of the CPUs otherwise than the triples do.
set(qemu ${cpu})
if(qemu MATCHES "^i.86$")
  set(qemu i386)
elseif(qemu STREQUAL "powerpc64le")
  set(qemu ppc64le)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu} -L /usr/${CROSS_TRIPLE})

set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
