# Include scopes: there is no include root for the whole tree. Each library
# sees the folders it owns and those of the libraries it links, through a
# folder of links of its own in the build tree; an include that points up a
# layer or across to one it does not link fails to compile.
#
# quillon_include_scope(<target> <PUBLIC|PRIVATE|INTERFACE> <path>...)
#   Makes each <path> (a folder or a header, relative to the source tree)
#   includable by its full path, "<path>/name.h", from <target>; PUBLIC and
#   INTERFACE pass it on to the targets that link <target>.
function(quillon_include_scope target visibility)
  set(root ${CMAKE_BINARY_DIR}/include_scopes/${target}_${visibility})
  foreach(path ${ARGN})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${root}/${path})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${visibility} ${root})
endfunction()
