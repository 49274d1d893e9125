# Build identity for the version unit, read from the real build at configure time.
#
# zurav_write_version_header(<file>) writes the constants that common/OXVersion.cpp compiles in.
# They include the configure time to the second, so every configure rewrites the file and the
# version unit and everything linking it are rebuilt; scripts that only need a build tree
# configure once (cmake --build reconfigures by itself when a CMake file changes).

function(_zurav_git out)
    execute_process(COMMAND git ${ARGN}
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                    OUTPUT_VARIABLE _value OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
        set(_value "")
    endif()
    set(${out} "${_value}" PARENT_SCOPE)
endfunction()

# Blanks become '_' so that every value is one word in the signature and the version message.
function(_zurav_one_word out text)
    string(STRIP "${text}" _t)
    string(REGEX REPLACE "[ \t\r\n]+" "_" _t "${_t}")
    string(REPLACE "\\" "\\\\" _t "${_t}")
    string(REPLACE "\"" "\\\"" _t "${_t}")
    set(${out} "${_t}" PARENT_SCOPE)
endfunction()

function(zurav_write_version_header file)
    find_package(Git QUIET)
    _zurav_git(ZV_REVISION rev-parse HEAD)
    _zurav_git(ZV_COMMITDATE log -1 --format=%cI)
    _zurav_git(ZV_BUILD_NUMBER rev-list --count HEAD)
    if(ZV_REVISION STREQUAL "")
        set(ZV_REVISION "unknown")
    endif()
    if(ZV_BUILD_NUMBER STREQUAL "")
        set(ZV_BUILD_NUMBER "0")
    endif()
    string(TIMESTAMP ZV_DATE "%Y-%m-%dT%H:%M:%S+00:00" UTC)

    cmake_host_system_information(RESULT ZV_HOST QUERY HOSTNAME)
    if(DEFINED ENV{USER} AND NOT "$ENV{USER}" STREQUAL "")
        set(ZV_USER "$ENV{USER}")
    else()
        execute_process(COMMAND id -un OUTPUT_VARIABLE ZV_USER
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()

    _zurav_one_word(ZV_COMPILER "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}")
    if(CMAKE_BUILD_TYPE)
        string(TOUPPER "${CMAKE_BUILD_TYPE}" _bt)
        set(_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_bt}}")
    else()
        set(_flags "${CMAKE_CXX_FLAGS}")
    endif()
    # The flags the project adds itself (cmake/ZuravOptions.cmake), as the compiler sees them.
    get_target_property(_opts zurav_options INTERFACE_COMPILE_OPTIONS)
    if(_opts)
        list(JOIN _opts " " _opts)
        set(_flags "${_flags} -std=c++${CMAKE_CXX_STANDARD} ${_opts}")
    endif()
    _zurav_one_word(ZV_CPPFLAGS "${_flags}")
    _zurav_one_word(ZV_PLATFORM "${CMAKE_HOST_SYSTEM_NAME} ${CMAKE_HOST_SYSTEM_VERSION}")
    _zurav_one_word(ZV_HOST "${ZV_HOST}")
    _zurav_one_word(ZV_USER "${ZV_USER}")

    string(SUBSTRING "${ZV_REVISION}" 0 12 _short)
    set(ZV_LABEL "zurav-${PROJECT_VERSION}-${_short}")
    set(ZV_BUILD_KEY "ZURAV-CPP")
    set(ZV_BUILD_SHORTKEY "CPP")

    configure_file("${PROJECT_SOURCE_DIR}/cmake/OXVersionBuild.h.in" "${file}" @ONLY)
endfunction()
