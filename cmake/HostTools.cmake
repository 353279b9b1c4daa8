# Build tools of our own (generators, the payload packer) always run on the build machine. The
# host build has them as ordinary targets; a cross build builds tools/ once more with the host
# compiler as an external project.
#
#   glimra_host_tool(<name> <var>) sets <var> to the tool's path and GLIMRA_HOST_TOOL_DEPENDS to
#   what a custom command that runs it must depend on.
if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(GLIMRA_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
  set(GLIMRA_HOST_TOOL_NAMES gen_messages gen_icon szdd_pack glimra_standins)
  set(_byproducts "")
  foreach(_tool IN LISTS GLIMRA_HOST_TOOL_NAMES)
    list(APPEND _byproducts ${GLIMRA_HOST_TOOLS_DIR}/${_tool})
  endforeach()
  ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools
    BINARY_DIR ${GLIMRA_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${GLIMRA_HOST_TOOLS_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_byproducts})
  function(glimra_host_tool name var)
    set(${var} ${GLIMRA_HOST_TOOLS_DIR}/${name} PARENT_SCOPE)
    set(GLIMRA_HOST_TOOL_DEPENDS host_tools ${GLIMRA_HOST_TOOLS_DIR}/${name} PARENT_SCOPE)
  endfunction()
else()
  add_subdirectory(tools)
  function(glimra_host_tool name var)
    set(${var} $<TARGET_FILE:${name}> PARENT_SCOPE)
    set(GLIMRA_HOST_TOOL_DEPENDS ${name} PARENT_SCOPE)
  endfunction()
endif()
