# Cross-build for the router: 32-bit little-endian MIPS, Debian's cross compiler.
# Unit tests run under qemu-user through CTest's cross-compiling emulator.
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(ROUTER_TRIPLET mipsel-linux-gnu)
set(ROUTER_QEMU qemu-mipsel)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
