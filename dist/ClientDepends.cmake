# Included by CPack (through the generated CPackProjectConfig.cmake) when it
# makes the packages. The client loads its QML modules and Qt plugins at run
# time, where dpkg-shlibdeps cannot see them; they are found here, from the
# QML the client imports and the plugin files it names, and each is mapped
# to the Debian package that ships it. A page that imports a new module
# brings that module's package without anyone writing it down.
#
# In: ORVELLE_QMLIMPORTSCANNER, ORVELLE_QT_QML_DIR, ORVELLE_QT_PLUGIN_DIR,
#     ORVELLE_QML_ROOTS, ORVELLE_QT_PLUGINS. Out: ORVELLE_CLIENT_DEPENDS.
cmake_policy(VERSION 3.25)

# Styles of other systems that QtQuick.Controls names as optional imports.
set(other_systems QtQuick.Controls.Windows QtQuick.Controls.macOS QtQuick.Controls.iOS)

set(scan_arguments)
foreach(root IN LISTS ORVELLE_QML_ROOTS)
    list(APPEND scan_arguments -rootPath ${root})
endforeach()
execute_process(COMMAND ${ORVELLE_QMLIMPORTSCANNER} ${scan_arguments}
                        -importPath ${ORVELLE_QT_QML_DIR}
                OUTPUT_VARIABLE scan RESULT_VARIABLE failed ERROR_VARIABLE scan_errors)
if(failed)
    message(FATAL_ERROR "qmlimportscanner failed: ${scan_errors}")
endif()

set(files)
set(missing)
string(JSON count LENGTH "${scan}")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
    string(JSON type ERROR_VARIABLE no_type GET "${scan}" ${i} type)
    string(JSON name GET "${scan}" ${i} name)
    if(NOT type STREQUAL "module" OR name MATCHES "^Orvelle\\." OR name IN_LIST other_systems)
        continue()
    endif()
    string(JSON path ERROR_VARIABLE no_path GET "${scan}" ${i} path)
    if(no_path OR NOT EXISTS "${path}/qmldir")
        list(APPEND missing ${name})
    else()
        list(APPEND files "${path}/qmldir")
    endif()
endforeach()
# A module this machine lacks has no package to name: the client would
# install and then fail to start on it.
if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "QML modules the client imports are not installed here: ${missing}")
endif()
foreach(plugin IN LISTS ORVELLE_QT_PLUGINS)
    list(APPEND files "${ORVELLE_QT_PLUGIN_DIR}/${plugin}")
endforeach()

execute_process(COMMAND dpkg-query --search ${files}
                OUTPUT_VARIABLE owners RESULT_VARIABLE failed ERROR_VARIABLE unowned)
if(failed)
    message(FATAL_ERROR "files the client loads that no installed package ships:\n${unowned}")
endif()
# "qml6-module-qtquick:amd64: /usr/lib/.../qmldir", one line per file.
string(REGEX REPLACE "(:[a-z0-9]+)?: [^\n]*" "" packages "${owners}")
string(REPLACE "\n" ";" packages "${packages}")
list(REMOVE_ITEM packages "")
list(REMOVE_DUPLICATES packages)
list(SORT packages)
list(JOIN packages ", " ORVELLE_CLIENT_DEPENDS)
