# Shared build rules of the Orvelle targets.

set(ORVELLE_WARNINGS -Wall -Wextra -Wpedantic)
if(ORVELLE_WERROR)
    list(APPEND ORVELLE_WARNINGS -Werror)
endif()

# Applies the warning flags to the hand-written sources of a target only:
# moc, rcc and qmlcachegen output is generated and not ours to fix.
function(orvelle_strict target)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(source IN LISTS sources)
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} OUTPUT_VARIABLE absolute)
        cmake_path(IS_PREFIX CMAKE_SOURCE_DIR ${absolute} NORMALIZE inside)
        cmake_path(IS_PREFIX CMAKE_BINARY_DIR ${absolute} NORMALIZE generated)
        if(inside AND NOT generated AND absolute MATCHES "\\.cpp$")
            set_property(SOURCE ${source} DIRECTORY ${source_dir}
                         APPEND PROPERTY COMPILE_OPTIONS ${ORVELLE_WARNINGS})
        endif()
    endforeach()
endfunction()

# Each test executable gets its own loopback address (NET.N) for its HTTPS
# test server: the client's port is fixed at 50000, so parallel tests need
# distinct addresses. Two build trees testing at once need distinct networks.
set(ORVELLE_TEST_NET "127.0.0" CACHE STRING "First three parts of the tests' loopback addresses")
set_property(GLOBAL PROPERTY ORVELLE_NEXT_TEST_HOST 10)

# orvelle_add_test(NAME SOURCES ... LIBRARIES ...)
function(orvelle_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
    get_property(host_number GLOBAL PROPERTY ORVELLE_NEXT_TEST_HOST)
    math(EXPR next "${host_number} + 1")
    set_property(GLOBAL PROPERTY ORVELLE_NEXT_TEST_HOST ${next})

    qt_add_executable(${name} ${arg_SOURCES}
                      ${PROJECT_SOURCE_DIR}/tests/support/SanitizerDefaults.cpp)
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} orvelle_test_support Qt6::Test)
    target_compile_definitions(${name} PRIVATE ORVELLE_TEST_HOST="${ORVELLE_TEST_NET}.${host_number}")
    set_target_properties(${name} PROPERTIES MACOSX_BUNDLE OFF)
    orvelle_strict(${name})
    # A Secret Service of its own keeps the password and the token.
    add_test(NAME ${name} COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/with-keyring
                                  $<TARGET_FILE:${name}>)
    # The tests reach no public service: an empty system CA store keeps the
    # client's certificate load cheap under the sanitizers' slow unwinding
    # (a bundle named by the tester's own SSL_CERT_FILE too).
    set(no_system_cas ${CMAKE_BINARY_DIR}/tests/no-system-cas)
    file(MAKE_DIRECTORY ${no_system_cas})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVELLE_TEST_HOST=${ORVELLE_TEST_NET}.${host_number};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp;SSL_CERT_DIR=${no_system_cas};SSL_CERT_FILE="
        TIMEOUT 300)
endfunction()

# For tests that draw pages: Qt Quick 6.4 keeps the pixmaps of Images (SVG
# icons, provider thumbnails) and their textures past the engine's end. The
# suppressions match whole stacks, so only those roads are hidden.
function(orvelle_suppress_image_leaks test)
    file(READ ${PROJECT_SOURCE_DIR}/tests/lsan.supp shared)
    file(READ ${PROJECT_SOURCE_DIR}/tests/qtquick-images-lsan.supp images)
    set(combined ${CMAKE_BINARY_DIR}/tests/images-lsan.supp)
    file(WRITE ${combined} "${shared}${images}")
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
        ASAN_OPTIONS=fast_unwind_on_malloc=0
        "LSAN_OPTIONS=suppressions=${combined}:fast_unwind_on_malloc=0")
endfunction()
