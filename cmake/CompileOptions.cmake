# One INTERFACE target carries the options every target is compiled with.
add_library(quillmoss_options INTERFACE)
target_compile_options(quillmoss_options INTERFACE -Wall -Wextra)
if(QUILLMOSS_WERROR)
  target_compile_options(quillmoss_options INTERFACE -Werror)
endif()
target_include_directories(quillmoss_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

# Qt code converts GBK text to QString only through the text library.
add_library(quillmoss_qt_options INTERFACE)
target_link_libraries(quillmoss_qt_options INTERFACE quillmoss_options)
target_compile_definitions(quillmoss_qt_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_CONTEXTLESS_CONNECT)

if(QUILLMOSS_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QUILLMOSS_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT QUILLMOSS_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QUILLMOSS_SANITIZE must be empty, address or thread")
endif()
