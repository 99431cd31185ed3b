# The layers of the program, one static library each. A layer links only the layers below it and sees
# only their headers: each layer's headers are offered through a folder of links of its own in the build
# tree, so an include that runs up the layers fails to compile instead of going unnoticed.
#
# kip_layer(NAME FOLDER [BELOW layer...] [LIBS library...])
#   NAME    the layer, target kip_<NAME>
#   FOLDER  its folder under src/ (its own files only, not those of subfolders)
#   BELOW   the layers directly below it
#   LIBS    other libraries it links
# Each layer's folder and the folders it may include are written to layers.txt in the build tree, which
# tools/check_layers.sh reads.

set(KIP_LAYER_LINKS ${CMAKE_BINARY_DIR}/layer-headers)
file(REMOVE_RECURSE ${KIP_LAYER_LINKS})
set(KIP_LAYER_TABLE ${CMAKE_BINARY_DIR}/layers.txt)
file(WRITE ${KIP_LAYER_TABLE} "# folder: the folders it may include (written by cmake/KipLayers.cmake)\n")

function(kip_layer name folder)
  cmake_parse_arguments(LAYER "" "" "BELOW;LIBS" ${ARGN})
  set(target kip_${name})
  set(links ${KIP_LAYER_LINKS}/${name})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
  file(MAKE_DIRECTORY ${links}/${folder})
  foreach(header ${headers})
    get_filename_component(file ${header} NAME)
    file(CREATE_LINK ${header} ${links}/${folder}/${file} SYMBOLIC)
  endforeach()

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_main\\.cpp$")
  if(sources)
    add_library(${target} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} ${links})
  set(below_targets)
  set(visible ${folder})
  foreach(layer ${LAYER_BELOW})
    list(APPEND below_targets kip_${layer})
    get_property(folders GLOBAL PROPERTY KIP_LAYER_VISIBLE_${layer})
    list(APPEND visible ${folders})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(GLOBAL PROPERTY KIP_LAYER_VISIBLE_${name} ${visible})
  set_property(GLOBAL APPEND PROPERTY KIP_LAYER_INCLUDES ${links})
  target_link_libraries(${target} ${scope} kip_options ${below_targets} ${LAYER_LIBS})
  list(JOIN visible " " visible_text)
  file(APPEND ${KIP_LAYER_TABLE} "${folder}: ${visible_text}\n")
endfunction()

# A rule for one file or folder that is not a layer of its own: it may include the folders of the layers
# named and those below them.
function(kip_layer_rule path)
  set(visible)
  foreach(layer ${ARGN})
    get_property(folders GLOBAL PROPERTY KIP_LAYER_VISIBLE_${layer})
    list(APPEND visible ${folders})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  list(JOIN visible " " visible_text)
  file(APPEND ${KIP_LAYER_TABLE} "${path}: ${visible_text}\n")
endfunction()
