# zurav_add_test_lists(<target> <codegen-target> <file>)
#
# Generates <file> (a path below the output folder, such as apitest/FieldVisit.h) with the
# generator's <codegen-target> (api-test, catalogue-test) from schema/protocol.toml into the
# calling directory's build tree, and puts it on <target>'s include path, so that test code
# covering every class follows the schema by itself. Several targets of one directory may use
# the same file; it is generated once.
function(zurav_add_test_lists target codegen_target file)
    set(_out "${CMAKE_CURRENT_BINARY_DIR}/generated")
    get_property(_known DIRECTORY PROPERTY ZURAV_TEST_LISTS)
    if(NOT "${file}" IN_LIST _known)
        set(_schema "${PROJECT_SOURCE_DIR}/schema/protocol.toml")
        set(_codegen "${PROJECT_SOURCE_DIR}/tools/codegen")
        file(GLOB _codegen_sources CONFIGURE_DEPENDS "${_codegen}/*.py")
        add_custom_command(
            OUTPUT "${_out}/${file}"
            COMMAND "${Python3_EXECUTABLE}" -B "${_codegen}/generate.py" --schema "${_schema}"
                    --target ${codegen_target} --out "${_out}"
            DEPENDS "${_schema}" ${_codegen_sources}
            COMMENT "Generating ${file}"
            VERBATIM)
        set_property(DIRECTORY APPEND PROPERTY ZURAV_TEST_LISTS "${file}")
    endif()
    add_custom_target(${target}_${codegen_target}_lists DEPENDS "${_out}/${file}")
    add_dependencies(${target} ${target}_${codegen_target}_lists)
    target_include_directories(${target} PRIVATE "${_out}")
endfunction()
