# zurav_add_api_test_lists(<target>)
#
# Generates apitest/FieldVisit.h, the field visitor and the lists of generated API classes, for
# <target> (see TestLists.cmake).
include("${CMAKE_CURRENT_LIST_DIR}/TestLists.cmake")

function(zurav_add_api_test_lists target)
    zurav_add_test_lists(${target} api-test apitest/FieldVisit.h)
endfunction()
