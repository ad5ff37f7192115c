# The layers of the client are libraries whose links are the architecture: a library may use
# the headers of the libraries it links and nothing else. Every library gets an include root of
# its own in the build folder, holding links to exactly its own headers, so that an include of
# a header from a layer the library does not link fails to compile instead of quietly working.
#
# kf_layer(<name> [INTERFACE] [DIRS <folders under src/>...] [FILES <paths under src/>...]
#          [EXCLUDE <regex>...])
#
# Collects the .cpp and .h files of DIRS (recursively) and FILES, drops those matching an
# EXCLUDE pattern, builds a static library (a header-only one with INTERFACE) and gives it its
# include root. Headers are included as "<folder>/<file>.h" exactly as in the source tree.
set(KF_SRC ${CMAKE_SOURCE_DIR}/src)

function(kf_layer name)
    cmake_parse_arguments(L "INTERFACE" "" "DIRS;FILES;EXCLUDE" ${ARGN})
    set(files ${L_FILES})
    foreach(dir ${L_DIRS})
        file(GLOB_RECURSE found CONFIGURE_DEPENDS RELATIVE ${KF_SRC} ${KF_SRC}/${dir}/*.cpp ${KF_SRC}/${dir}/*.h)
        list(APPEND files ${found})
    endforeach()
    foreach(pattern ${L_EXCLUDE})
        list(FILTER files EXCLUDE REGEX "${pattern}")
    endforeach()
    set(sources "")
    set(headers "")
    foreach(file ${files})
        if(file MATCHES "\\.h$")
            list(APPEND headers ${file})
        endif()
        list(APPEND sources ${KF_SRC}/${file})
    endforeach()
    if(L_INTERFACE)
        add_library(${name} INTERFACE)
    else()
        add_library(${name} STATIC ${sources})
    endif()
    kf_include_root(${name} ${headers})
endfunction()

# kf_include_root(<target> <headers under src/>...): the target's own include root.
function(kf_include_root target)
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(header ${ARGN})
        get_filename_component(folder ${root}/${header} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(CREATE_LINK ${KF_SRC}/${header} ${root}/${header} SYMBOLIC)
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
