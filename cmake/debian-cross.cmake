# What the router toolchain files share: Debian's cross compiler for the
# triplet ROUTER_TRIPLET, its libraries under /usr/<triplet>, and the unit
# tests run under qemu-user (ROUTER_QEMU) through CTest's cross-compiling
# emulator. Each toolchain file sets the two names and includes this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ROUTER_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ROUTER_TRIPLET}-g++)
set(CMAKE_STRIP ${ROUTER_TRIPLET}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${ROUTER_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ROUTER_QEMU} -L /usr/${ROUTER_TRIPLET})
