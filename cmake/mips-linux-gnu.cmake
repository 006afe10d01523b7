# Cross-build for the router: 32-bit big-endian MIPS, Debian's cross compiler.
# Unit tests run under qemu-user through CTest's cross-compiling emulator.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(ROUTER_TRIPLET mips-linux-gnu)
set(ROUTER_QEMU qemu-mips)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
