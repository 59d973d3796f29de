# The compiler and linker flags Debian builds its packages with, as
# dpkg-buildflags gives them with every hardening feature on: stack
# protector, _FORTIFY_SOURCE, read-only relocations bound at start, and the
# source folder mapped to "." so no path of this machine is compiled in.
# (PIE is the compiler's default on Debian.)
foreach(kind IN ITEMS CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            dpkg-buildflags --get ${kind}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    if(kind STREQUAL "LDFLAGS")
        add_link_options(${flags})
    else()
        add_compile_options(${flags})
    endif()
endforeach()
