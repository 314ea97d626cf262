# The library's Zel sources, embedded in zel-core. Start-up evaluates them in
# this order (each file may use what the files before it made).
set(ZEL_LIBRARY_SOURCES
  core.zel
  conversions.zel
  general.zel
  math.zel
  values.zel
  system.zel
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

# The build record (version, git state) that system/build and system/version
# report, written at every build and changed only when the record changes.
set(ZEL_BUILD_INFO ${CMAKE_BINARY_DIR}/generated/build_info.h)
add_custom_target(zel-build-info
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUT=${ZEL_BUILD_INFO}
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/tools/build_info.cmake
  BYPRODUCTS ${ZEL_BUILD_INFO}
  COMMENT "Recording the build's version and git state"
  VERBATIM)
add_dependencies(zel-core zel-build-info)
target_include_directories(zel-core PRIVATE ${CMAKE_BINARY_DIR}/generated)
