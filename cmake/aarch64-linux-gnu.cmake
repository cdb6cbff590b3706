# Cross-building for 64-bit Arm Linux with Debian's cross compiler and the
# arm64 libraries of a multiarch system (dpkg --add-architecture arm64);
# programs and tests run under user-mode qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# The programs load the arm64 C library of the multiarch system, which the
# arm64 libraries they link were installed with. The cross compiler's own
# copy (in /usr/aarch64-linux-gnu) is another build of it: a program that
# mixes the loader of one with the C library of the other hangs on its
# first thread.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
