# Flags every program target carries. Kept on an interface target rather than
# globally, so that GoogleTest (built from source for the router) keeps its own.
add_library(project_flags INTERFACE)
target_compile_options(project_flags INTERFACE
  -Wall -Wextra -Wformat=2 -Werror=format-nonliteral -Wformat-security
  -Wshadow -Wcast-align -Wnull-dereference
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
# Warnings stop the test build (tools/test.sh, CI); a newer compiler in someone
# else's firmware tree only warns. A command line built from a non-literal
# format is an error everywhere.
if(ROUTER_WERROR)
  target_compile_options(project_flags INTERFACE -Werror)
endif()
target_compile_definitions(project_flags INTERFACE _FILE_OFFSET_BITS=64)

# Hardening. The stack protector and the checked string and memory functions
# cost a few hundred bytes to 1.3 KiB per router binary (README). RELRO and
# immediate binding are for host builds only: on MIPS the read-only part has
# to end on a 64 KiB page boundary, which pads every binary by about 35 KiB.
if(ROUTER_HARDENING)
  target_compile_options(project_flags INTERFACE -fstack-protector-strong
    $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  if(NOT CMAKE_CROSSCOMPILING)
    target_link_options(project_flags INTERFACE -Wl,-z,relro,-z,now)
  endif()
endif()

if(ROUTER_SANITIZE)
  target_compile_options(project_flags INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  target_link_options(project_flags INTERFACE -fsanitize=address,undefined)
endif()

if(ROUTER_FUZZ)
  # Coverage for the fuzzer in every program file; the harnesses link the
  # fuzzer itself (-fsanitize=fuzzer).
  target_compile_options(project_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1)
  target_link_options(project_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
endif()

if(CMAKE_CROSSCOMPILING)
  # The router has the C library and the store library, nothing else: keep
  # libstdc++ and libgcc_s out of the needed list and optimise for size.
  # Hidden visibility keeps the programs' own functions out of the dynamic
  # symbol table, which on MIPS would otherwise list every global function.
  # The firmware keeps no debug files to match, so the binaries carry no
  # build id. With the common page size at the 64 KiB maximum, the linker
  # writes the data segment right after the text instead of padding the file
  # to the next 4 KiB page (which saves at most one page of memory at run
  # time): up to 4 KiB less flash per binary.
  target_compile_options(project_flags INTERFACE -Os -ffunction-sections -fdata-sections -fvisibility=hidden)
  target_link_options(project_flags INTERFACE
    -static-libgcc -Wl,--as-needed -Wl,--gc-sections -Wl,--build-id=none -Wl,-z,common-page-size=65536)
endif()

# add_router_program(name sources...): the program's logic goes into <name>_core
# (linked by the unit tests), main.cpp into the executable.
function(add_router_program name)
  cmake_parse_arguments(ARG "NVRAM" "" "" ${ARGN})
  file(GLOB core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER core_sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(${name}_core STATIC ${core_sources})
  target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_core PUBLIC project_flags routercommon)
  # The core only sees the store's declarations: the unit tests link an
  # in-memory store, the executable the real library.
  target_include_directories(${name}_core PUBLIC ${PROJECT_SOURCE_DIR}/common)
  add_executable(${name} main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_core)
  if(ARG_NVRAM)
    target_link_libraries(${name} PRIVATE nvram_store)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
endfunction()
