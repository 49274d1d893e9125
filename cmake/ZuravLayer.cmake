# zurav_add_layer(<name> [DEPS <targets>...] [SOURCES <files>...])
#
# Builds the static archive zurav_<name> (alias zurav::<name>) from every .cpp in the current
# source directory plus any extra SOURCES (generated files). The include root is src/, so units
# are included with their layer folder: #include "framework/FastCodec.h".
function(zurav_add_layer name)
    cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    file(GLOB _headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    add_library(zurav_${name} STATIC ${_sources} ${_headers} ${ARG_SOURCES})
    add_library(zurav::${name} ALIAS zurav_${name})
    target_include_directories(zurav_${name} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
        $<INSTALL_INTERFACE:include/zurav>)
    target_link_libraries(zurav_${name} PUBLIC ${ARG_DEPS} PRIVATE zurav_options)
    target_compile_options(zurav_${name} PUBLIC ${ZURAV_USAGE_COMPILE_OPTIONS})
    set_property(GLOBAL APPEND PROPERTY ZURAV_LAYERS zurav_${name})
endfunction()

# _zurav_test_executable(<exe> <layer> LIBS <targets>... SOURCES <files>...): one GoogleTest
# executable whose tests ctest discovers (or, with ZURAV_TEST_EACH_CASE off, that ctest runs
# whole), labelled with their layer.
#
# Threaded tests are the suites whose name ends in "Threads"; they also run under
# ThreadSanitizer. An executable whose sources hold such a suite joins the target
# zurav_threaded_tests, which the tsan build preset builds instead of everything; in a
# ThreadSanitizer build ctest knows only those executables.
function(_zurav_test_executable exe layer)
    cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
    add_executable(${exe} ${ARG_SOURCES})
    target_link_libraries(${exe} PRIVATE ${ARG_LIBS} zurav_test_support zurav_options
                          GTest::gtest_main GTest::gmock)

    set(_threaded FALSE)
    foreach(_src IN LISTS ARG_SOURCES)
        file(READ "${_src}" _text)
        if(_text MATCHES "TEST(_F|_P)?\\([ \t\r\n]*[A-Za-z0-9_]*Threads[ \t\r\n]*,")
            set(_threaded TRUE)
            break()
        endif()
    endforeach()
    if(_threaded)
        set_property(GLOBAL APPEND PROPERTY ZURAV_THREADED_TESTS ${exe})
    elseif(ZURAV_SANITIZE MATCHES "thread")
        # A suite added to one of these files later must bring its executable into the threaded
        # build: the ThreadSanitizer build configures again when they change.
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_SOURCES})
        return()
    endif()
    if(ZURAV_TEST_EACH_CASE)
        gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${layer}")
    else()
        add_test(NAME ${exe} COMMAND ${exe})
        set_tests_properties(${exe} PROPERTIES LABELS "${layer}")
    endif()
endfunction()

# zurav_add_tests(<layer> LIBS <targets>...)
#
# tests/<layer>/*Test.cpp form one executable per layer (<layer>_tests), linking only that
# layer. Each tests/<layer>/standalone/*Test.cpp gets an executable of its own: those tests change
# process-wide state (TZ, start-up counters) and must not share a process with others.
function(zurav_add_tests layer)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB _tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp")
    file(GLOB _support CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/support/${layer}/*.cpp")
    if(_tests)
        _zurav_test_executable(${layer}_tests ${layer} LIBS ${ARG_LIBS}
                               SOURCES ${_tests} ${_support})
    endif()
    file(GLOB _standalone CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/standalone/*Test.cpp")
    foreach(_src IN LISTS _standalone)
        get_filename_component(_stem "${_src}" NAME_WE)
        _zurav_test_executable(${layer}_${_stem} ${layer} LIBS ${ARG_LIBS}
                               SOURCES ${_src} ${_support})
    endforeach()
endfunction()
