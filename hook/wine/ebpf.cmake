# The Windows view's kernel side (hook/wine/bpf/talvek_wine.bpf.c): compiled
# like the system view's (hook/syscalls/ebpf.cmake, which finds clang,
# bpftool and libbpf) into an object with BTF and a skeleton header.
set(talvek_wine_bpf_src ${CMAKE_CURRENT_LIST_DIR}/bpf/talvek_wine.bpf.c)
set(talvek_wine_bpf_obj ${talvek_bpf_dir}/talvek_wine.bpf.o)
set(talvek_wine_bpf_skel ${talvek_bpf_dir}/talvek_wine.skel.h)

add_custom_command(
    OUTPUT ${talvek_wine_bpf_obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${talvek_bpf_dir}
    COMMAND ${TALVEK_BPF_CLANG} -g -O2 -target bpf -Wall -Werror ${talvek_bpf_includes}
            -c ${talvek_wine_bpf_src} -o ${talvek_wine_bpf_obj}
    DEPENDS ${talvek_wine_bpf_src} ${CMAKE_CURRENT_LIST_DIR}/nt_event.h
            ${CMAKE_CURRENT_LIST_DIR}/../syscalls/bpf/talvek_hook_maps.h
            ${CMAKE_CURRENT_LIST_DIR}/../bpf/watch_maps.bpf.h
    COMMENT "BPF object talvek_wine.bpf.o"
    VERBATIM)

add_custom_command(
    OUTPUT ${talvek_wine_bpf_skel}
    COMMAND ${TALVEK_BPFTOOL} gen skeleton ${talvek_wine_bpf_obj} name talvek_wine_bpf > ${talvek_wine_bpf_skel}
    DEPENDS ${talvek_wine_bpf_obj}
    COMMENT "BPF skeleton talvek_wine.skel.h"
    VERBATIM)

add_library(talvek_wine_ebpf STATIC ${CMAKE_CURRENT_LIST_DIR}/wine_backend.cpp ${talvek_wine_bpf_skel})
target_include_directories(talvek_wine_ebpf PRIVATE ${talvek_bpf_dir})
target_link_libraries(talvek_wine_ebpf PUBLIC talvek_hook_ebpf talvek_warnings)
