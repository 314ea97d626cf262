# The library's Zel sources. The build's first stage (zel-make-image) lexes
# them, in this order, into the boot image, and start-up evaluates them in
# that order (each file may use what the files before it made). A source
# kept outside library/ (the console's) is named by a path from library/.
set(ZEL_LIBRARY_SOURCES
  core.zel
  conversions.zel
  general.zel
  math.zel
  load.zel
  save.zel
  values.zel
  collect.zel
  paths.zel
  system.zel
  codecs.zel
  reactivity.zel
  schemes.zel
  thru.zel
  preprocessor.zel
  json.zel
  csv.zel
  ask.zel
  ../console/help.zel
)
list(TRANSFORM ZEL_LIBRARY_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/library/)

# The first stage: zel-core without a boot image. It rewrites the image's C++
# source only when its contents change, so a rebuilt stage that makes the
# same image compiles nothing.
add_executable(zel-make-image ${CMAKE_SOURCE_DIR}/tools/make_boot_image.cpp)
target_link_libraries(zel-make-image PRIVATE zel-core)

set(ZEL_BOOT_IMAGE ${CMAKE_BINARY_DIR}/generated/boot.zelbin)
set(ZEL_BOOT_IMAGE_SOURCE ${CMAKE_BINARY_DIR}/generated/boot_image.cpp)
add_custom_command(
  OUTPUT ${ZEL_BOOT_IMAGE} ${ZEL_BOOT_IMAGE_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND zel-make-image ${ZEL_BOOT_IMAGE} ${ZEL_BOOT_IMAGE_SOURCE} ${ZEL_LIBRARY_SOURCES}
  DEPENDS zel-make-image ${ZEL_LIBRARY_SOURCES}
  COMMENT "Making the boot image"
  VERBATIM)

# The embedded image, for the programs that start the whole system.
add_library(zel-image STATIC ${ZEL_BOOT_IMAGE_SOURCE})
target_link_libraries(zel-image PUBLIC zel-core)

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
