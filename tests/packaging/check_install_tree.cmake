# Installs the build tree into a scratch DESTDIR and checks what lands there:
# exactly the expected files, a real executable, icons of the size their
# folder names, and a launcher and metainfo that point at each other.
#   cmake -DBUILD_DIR= -DEXECUTABLE= -DEXE_NAME= -DAPP_ID= -DICON_SIZES=
#         -DWORK_DIR= -DAPPSTREAMCLI= -P check_install_tree.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/expected_tree.cmake)
quillmoss_skip_without_executable()

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${WORK_DIR}
          ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

set(root ${WORK_DIR}/usr)
file(GLOB_RECURSE actual LIST_DIRECTORIES false RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
list(SORT actual)
quillmoss_expected_files(expected usr)
quillmoss_compare_lists("The installed tree" "${expected}" "${actual}")

# The executable: an ELF file the installer left executable.
set(exe ${root}/bin/${EXE_NAME})
file(READ ${exe} magic LIMIT 4 HEX)
if(NOT magic STREQUAL "7f454c46")
  message(FATAL_ERROR "${exe} is not an ELF file")
endif()
execute_process(COMMAND test -x ${exe} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${exe} is not executable")
endif()

# Each bitmap is a PNG with the size of the theme folder it sits in.
string(REPLACE "," ";" sizes "${ICON_SIZES}")
foreach(size IN LISTS sizes)
  set(png ${root}/share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
  file(READ ${png} header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 32 8 width_hex)
  string(SUBSTRING "${header}" 40 8 height_hex)
  math(EXPR width "0x${width_hex}")
  math(EXPR height "0x${height_hex}")
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${png} is not a PNG file")
  endif()
  if(NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "${png} is ${width}x${height}, not ${size}x${size}")
  endif()
endforeach()

# The launcher runs the installed program, names the installed icon, and is
# no handler for any MIME type.
set(desktop ${root}/share/applications/${APP_ID}.desktop)
file(STRINGS ${desktop} lines ENCODING UTF-8)
set(keys)
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9-]+(\\[[A-Za-z_@]+\\])?)=(.*)$")
    set(key_${CMAKE_MATCH_1} "${CMAKE_MATCH_3}")
    list(APPEND keys ${CMAKE_MATCH_1})
  endif()
endforeach()
string(REGEX REPLACE " .*" "" exec_program "${key_Exec}")
if(NOT EXISTS ${root}/bin/${exec_program})
  message(FATAL_ERROR "Exec=${key_Exec} names no installed program")
endif()
if(NOT key_Icon STREQUAL APP_ID)
  message(FATAL_ERROR "Icon=${key_Icon}, but the icons are installed as ${APP_ID}")
endif()
# Qt's X11 window class is the executable's name.
if(NOT key_StartupWMClass STREQUAL EXE_NAME)
  message(FATAL_ERROR "StartupWMClass=${key_StartupWMClass} does not match the window class ${EXE_NAME}")
endif()
if("MimeType" IN_LIST keys)
  message(FATAL_ERROR "The launcher declares MimeType=${key_MimeType}")
endif()
foreach(key Name Comment)
  if(NOT "${key}[zh_CN]" IN_LIST keys)
    message(FATAL_ERROR "The launcher has no ${key}[zh_CN]")
  endif()
endforeach()

# The metainfo names the launcher that was installed beside it.
execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net --strict ${root}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate-tree on the installed tree:\n${out}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
message("Installed tree as expected: ${expected}")
