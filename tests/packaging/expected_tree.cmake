# The files the install lays out under its prefix, sorted; both the install
# check and the package check compare against this one list.
function(quillmoss_expected_files out prefix)
  set(files
    ${prefix}/bin/${EXE_NAME}
    ${prefix}/share/applications/${APP_ID}.desktop
    ${prefix}/share/metainfo/${APP_ID}.metainfo.xml
    ${prefix}/share/icons/hicolor/scalable/apps/${APP_ID}.svg)
  string(REPLACE "," ";" sizes "${ICON_SIZES}")
  foreach(size IN LISTS sizes)
    list(APPEND files ${prefix}/share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
  endforeach()
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Reports what one list has that the other lacks; fails when they differ.
function(quillmoss_compare_lists what expected actual)
  set(missing ${expected})
  set(extra ${actual})
  if(actual)
    list(REMOVE_ITEM missing ${actual})
  endif()
  if(expected)
    list(REMOVE_ITEM extra ${expected})
  endif()
  if(missing OR extra)
    list(JOIN missing "\n  " missing_text)
    list(JOIN extra "\n  " extra_text)
    message(FATAL_ERROR "${what} differs from the expected layout.\n"
                        "Missing:\n  ${missing_text}\nUnexpected:\n  ${extra_text}")
  endif()
endfunction()

# The test cannot run without the linked executable; say so as a skip.
macro(quillmoss_skip_without_executable)
  if(NOT EXECUTABLE OR NOT EXISTS "${EXECUTABLE}")
    message("QUILLMOSS-SKIP: the ${EXE_NAME} executable is not built (${EXECUTABLE})")
    return()
  endif()
endmacro()
