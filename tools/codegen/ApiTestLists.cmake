# zurav_add_api_test_lists(<target>)
#
# Generates apitest/FieldVisit.h, the field visitor and the lists of generated API classes, from
# schema/protocol.toml into the calling directory's build tree, and puts it on <target>'s include
# path, so that code covering every class follows the schema by itself.
function(zurav_add_api_test_lists target)
    set(_schema "${PROJECT_SOURCE_DIR}/schema/protocol.toml")
    set(_codegen "${PROJECT_SOURCE_DIR}/tools/codegen")
    set(_out "${CMAKE_CURRENT_BINARY_DIR}/generated")
    file(GLOB _codegen_sources CONFIGURE_DEPENDS "${_codegen}/*.py")
    add_custom_command(
        OUTPUT "${_out}/apitest/FieldVisit.h"
        COMMAND "${Python3_EXECUTABLE}" -B "${_codegen}/generate.py" --schema "${_schema}"
                --target api-test --out "${_out}"
        DEPENDS "${_schema}" ${_codegen_sources}
        COMMENT "Generating the API field visitor and class lists for ${target}"
        VERBATIM)
    add_custom_target(${target}_codegen DEPENDS "${_out}/apitest/FieldVisit.h")
    add_dependencies(${target} ${target}_codegen)
    target_include_directories(${target} PRIVATE "${_out}")
endfunction()
