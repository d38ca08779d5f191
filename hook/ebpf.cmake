# The eBPF backend of talvek-hook: the library talvek_hook_ebpf.
add_library(talvek_hook_ebpf STATIC ${CMAKE_CURRENT_LIST_DIR}/ebpf_backend.cpp)
target_link_libraries(talvek_hook_ebpf PUBLIC talvek_warnings)
