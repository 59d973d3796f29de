# Rejects an include or QML import that runs against the layers: a folder may
# use its own files and those of lower layers only, so feature folders never
# reach each other and nothing below app reaches up.
#   cmake -DORVELLE_SOURCE_DIR=<repo> -P cmake/CheckLayers.cmake
# Also run at configure time by the top-level CMakeLists.

set(orvelle_layer_core 0)
set(orvelle_layer_session 1)
set(orvelle_layer_net 2)
set(orvelle_layer_platform 2)
set(orvelle_layer_store 2)
set(orvelle_layer_photos 3)
set(orvelle_layer_outbox 4)
set(orvelle_layer_account 5)
set(orvelle_layer_inspection 5)
set(orvelle_layer_hazard 5)
set(orvelle_layer_app 6)

function(orvelle_check_layers source_dir)
    file(GLOB_RECURSE files RELATIVE ${source_dir}/src
         ${source_dir}/src/*.h ${source_dir}/src/*.cpp ${source_dir}/src/*.qml)
    set(faults "")
    foreach(file IN LISTS files)
        string(REGEX MATCH "^[^/]+" folder "${file}")
        if(NOT DEFINED orvelle_layer_${folder})
            list(APPEND faults "src/${file}: folder '${folder}' has no layer")
            continue()
        endif()
        file(STRINGS ${source_dir}/src/${file} lines
             REGEX "^[ \t]*(#include \"[a-z]+/|import Orvelle\\.)")
        foreach(line IN LISTS lines)
            if(line MATCHES "#include \"([a-z]+)/")
                set(used "${CMAKE_MATCH_1}")
            elseif(line MATCHES "import Orvelle\\.([A-Za-z]+)")
                string(TOLOWER "${CMAKE_MATCH_1}" used)
            endif()
            if(used STREQUAL folder)
                continue()
            endif()
            if(NOT DEFINED orvelle_layer_${used}
               OR NOT orvelle_layer_${used} LESS orvelle_layer_${folder})
                string(STRIP "${line}" line)
                list(APPEND faults "src/${file}: ${line} (${folder} may not use ${used})")
            endif()
        endforeach()
    endforeach()
    if(faults)
        list(JOIN faults "\n  " text)
        message(FATAL_ERROR "Includes against the layers:\n  ${text}")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    orvelle_check_layers(${ORVELLE_SOURCE_DIR})
endif()
