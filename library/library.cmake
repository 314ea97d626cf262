# The library's Zel sources, embedded in zel-core. Start-up evaluates them in
# this order (each file may use what the files before it made).
set(ZEL_LIBRARY_SOURCES
  core.zel
  conversions.zel
  general.zel
  math.zel
)
list(TRANSFORM ZEL_LIBRARY_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/library/)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ZEL_LIBRARY_EMBEDDED ${CMAKE_BINARY_DIR}/generated/library_sources.cpp)
add_custom_command(
  OUTPUT ${ZEL_LIBRARY_EMBEDDED}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/embed_library.py
          ${ZEL_LIBRARY_EMBEDDED} ${ZEL_LIBRARY_SOURCES}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/embed_library.py ${ZEL_LIBRARY_SOURCES}
  COMMENT "Embedding the library's Zel sources"
  VERBATIM)
target_sources(zel-core PRIVATE ${ZEL_LIBRARY_EMBEDDED})
