# Cross-build for the router: 32-bit ARM, hard float, Debian's cross compiler.
# Unit tests run under qemu-user through CTest's cross-compiling emulator.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(ROUTER_TRIPLET arm-linux-gnueabihf)
set(ROUTER_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
