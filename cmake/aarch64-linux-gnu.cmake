# Cross-build for the router: 64-bit ARM, Debian's cross compiler.
# Unit tests run under qemu-user through CTest's cross-compiling emulator.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ROUTER_TRIPLET aarch64-linux-gnu)
set(ROUTER_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
