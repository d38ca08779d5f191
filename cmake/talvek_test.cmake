# talvek_add_suite(NAME): builds tests/NAME/*.cpp (and *.rc on win32) into the
# executable NAME_tests and registers it as one CTest test.
function(talvek_add_suite name)
    set(dir ${CMAKE_SOURCE_DIR}/tests/${name})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(WIN32)
        file(GLOB rc CONFIGURE_DEPENDS ${dir}/*.rc)
        list(APPEND sources ${rc})
        # A suite's script may include the program's own (res/talvek.rc), and
        # windres reports no dependencies: name them.
        file(GLOB res_files ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/res/*.h
             ${CMAKE_SOURCE_DIR}/res/*.ico)
        set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${res_files}")
    endif()
    if(NOT sources)
        return()
    endif()
    add_executable(${name}_tests ${sources})
    target_link_libraries(${name}_tests PRIVATE talvek_warnings gtest_main)
    if(TARGET talvek_trace)
        target_link_libraries(${name}_tests PRIVATE talvek_trace)
    endif()
    target_include_directories(${name}_tests PRIVATE ${dir})
    if(WIN32)
        # A suite without its own device calls runs against the stand-in driver.
        set(device "")
        if(NOT EXISTS ${dir}/fake_device.cpp AND TARGET talvek_simdriver)
            set(device ,talvek_simdriver)
        endif()
        target_link_libraries(${name}_tests PRIVATE talvek_win_test_support
            "$<LINK_GROUP:RESCAN,talvek_win,talvek_core${device}>"
            comctl32 gdi32 user32 kernel32)
    else()
        target_link_libraries(${name}_tests PRIVATE talvek_core)
    endif()
    add_test(NAME ${name} COMMAND ${name}_tests --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
