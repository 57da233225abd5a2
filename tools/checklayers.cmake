cmake_minimum_required(VERSION 3.25)
# Fails the build when a source file includes a header from a layer above
# its own. Run by the layers target before any library compiles:
#   cmake -DROOT=<source dir> -P tools/checklayers.cmake
# Each folder lists the project folders its files may include.
set(allowed_base base)
set(allowed_link base link)
set(allowed_device base device)
set(allowed_session base link device session)
set(allowed_services base link device session services)
set(allowed_localizer base localizer)
set(allowed_sim base link device sim)
set(allowed_window base link device session services localizer window)
# The simulator uses only the link layer's pure value headers, never its
# threads or ports.
set(sim_link_headers link/codec.h link/expectedreply.h link/protocol.h)

set(project_folders base link device session services localizer window app sim tests bench fuzz)
set(errors "")
foreach(layer base link device session services localizer sim window)
  file(GLOB_RECURSE files ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" inc "${line}")
      string(REGEX MATCH "^[^/]+" top "${inc}")
      if(NOT inc MATCHES "/" OR NOT top IN_LIST project_folders)
        continue()  # generated headers (ui_*.h) and the folder's own files
      endif()
      file(RELATIVE_PATH rel ${ROOT} ${f})
      if(NOT top IN_LIST allowed_${layer})
        list(APPEND errors "${rel}: includes ${inc} (${layer}/ may include: ${allowed_${layer}})")
      elseif(layer STREQUAL "sim" AND top STREQUAL "link" AND NOT inc IN_LIST sim_link_headers)
        list(APPEND errors "${rel}: includes ${inc} (the simulator uses only ${sim_link_headers})")
      endif()
    endforeach()
  endforeach()
endforeach()
if(errors)
  list(JOIN errors "\n  " text)
  message(FATAL_ERROR "Layer rule broken: an include points up.\n  ${text}")
endif()
