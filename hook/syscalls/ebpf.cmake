# The eBPF backend of talvek-hook: the library talvek_hook_ebpf.
#
# The kernel side (hook/syscalls/bpf/talvek_hook.bpf.c) is compiled with clang's BPF
# target into an object with BTF (CO-RE: the kernel's structures are resolved
# when loading, from the running kernel's BTF); bpftool turns the object into
# a skeleton header that the loader includes.
find_program(TALVEK_BPF_CLANG NAMES clang clang-16 clang-15 clang-14 REQUIRED)
find_program(TALVEK_BPFTOOL NAMES bpftool PATHS /usr/sbin /sbin REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(TALVEK_LIBBPF REQUIRED IMPORTED_TARGET libbpf)

set(talvek_bpf_src ${CMAKE_CURRENT_LIST_DIR}/bpf/talvek_hook.bpf.c)
set(talvek_bpf_dir ${CMAKE_BINARY_DIR}/hook_bpf)
set(talvek_bpf_obj ${talvek_bpf_dir}/talvek_hook.bpf.o)
set(talvek_bpf_skel ${talvek_bpf_dir}/talvek_hook.skel.h)

# The BPF target has no multiarch include folder of its own (asm/types.h).
get_filename_component(talvek_bpf_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(talvek_bpf_includes -I${talvek_bpf_root} ${TALVEK_LIBBPF_CFLAGS})
if(CMAKE_LIBRARY_ARCHITECTURE)
    list(APPEND talvek_bpf_includes -I/usr/include/${CMAKE_LIBRARY_ARCHITECTURE})
endif()

add_custom_command(
    OUTPUT ${talvek_bpf_obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${talvek_bpf_dir}
    COMMAND ${TALVEK_BPF_CLANG} -g -O2 -target bpf -Wall -Werror ${talvek_bpf_includes}
            -c ${talvek_bpf_src} -o ${talvek_bpf_obj}
    DEPENDS ${talvek_bpf_src} ${CMAKE_CURRENT_LIST_DIR}/bpf/talvek_hook_maps.h
            ${CMAKE_CURRENT_LIST_DIR}/../bpf/watch_maps.bpf.h
            ${CMAKE_CURRENT_LIST_DIR}/bpf/talvek_filter.h
            ${CMAKE_CURRENT_LIST_DIR}/syscall_event.h ${CMAKE_CURRENT_LIST_DIR}/i386_syscall_nr.h
    COMMENT "BPF object talvek_hook.bpf.o"
    VERBATIM)

add_custom_command(
    OUTPUT ${talvek_bpf_skel}
    COMMAND ${TALVEK_BPFTOOL} gen skeleton ${talvek_bpf_obj} name talvek_hook_bpf > ${talvek_bpf_skel}
    DEPENDS ${talvek_bpf_obj}
    COMMENT "BPF skeleton talvek_hook.skel.h"
    VERBATIM)

add_library(talvek_hook_ebpf STATIC ${CMAKE_CURRENT_LIST_DIR}/ebpf_backend.cpp ${talvek_bpf_skel}
                                    ${CMAKE_CURRENT_LIST_DIR}/../ebpf_common.cpp)
target_include_directories(talvek_hook_ebpf PRIVATE ${talvek_bpf_dir})
target_link_libraries(talvek_hook_ebpf PUBLIC talvek_warnings talvek_hook_map PkgConfig::TALVEK_LIBBPF)

# Its test: a child's calls as the kernel side records them (tests/hook_ebpf).
# Without root or BPF (every case then skips with this line) it is reported
# skipped, with the reason, not passed.
include(${CMAKE_SOURCE_DIR}/cmake/talvek_test.cmake)
talvek_add_suite(hook_ebpf)
target_link_libraries(hook_ebpf_tests PRIVATE talvek_hook_ebpf)
set_tests_properties(hook_ebpf PROPERTIES SKIP_REGULAR_EXPRESSION "eBPF unavailable: ")
