# zurav_generate(<target> <out-var>)
#
# Runs tools/codegen for <target> (api, catalogue) from schema/protocol.toml into
# ${ZURAV_GENERATED_DIR} at build time and sets <out-var> to the files it produces. The list is
# known at configure time; a change of the schema or of the generator configures again, so a
# class added to the schema joins the build by itself. The output is laid out by clang-format
# when it is installed, and a file is only rewritten when its text changes.
function(zurav_generate target out_var)
    set(_schema "${PROJECT_SOURCE_DIR}/schema/protocol.toml")
    set(_codegen "${PROJECT_SOURCE_DIR}/tools/codegen")
    file(GLOB _codegen_sources CONFIGURE_DEPENDS "${_codegen}/*.py")
    find_program(ZURAV_CLANG_FORMAT clang-format)
    set(_format_args "")
    if(ZURAV_CLANG_FORMAT)
        set(_format_args --clang-format "${ZURAV_CLANG_FORMAT}" --style "${PROJECT_SOURCE_DIR}/.clang-format")
    endif()

    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_schema}" ${_codegen_sources})
    execute_process(
        COMMAND "${Python3_EXECUTABLE}" -B "${_codegen}/generate.py" --schema "${_schema}"
                --target ${target} --out "${ZURAV_GENERATED_DIR}" --list
        OUTPUT_VARIABLE _generated ERROR_VARIABLE _error RESULT_VARIABLE _result)
    if(NOT _result EQUAL 0)
        message(FATAL_ERROR "schema/protocol.toml does not check:\n${_error}")
    endif()
    string(STRIP "${_generated}" _generated)
    string(REPLACE "\n" ";" _generated "${_generated}")

    set(_stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}_codegen.stamp")
    add_custom_command(
        OUTPUT "${_stamp}" ${_generated}
        COMMAND "${Python3_EXECUTABLE}" -B "${_codegen}/generate.py" --schema "${_schema}"
                --target ${target} --out "${ZURAV_GENERATED_DIR}" ${_format_args} --stamp "${_stamp}"
        DEPENDS "${_schema}" ${_codegen_sources}
        COMMENT "Generating the ${target} classes from schema/protocol.toml"
        VERBATIM)
    set(${out_var} ${_generated} PARENT_SCOPE)
endfunction()
