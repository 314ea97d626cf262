# The Zel sources of the boot image, named from the source folder: the
# standard library, then the console. The build's first stage
# (zel-make-image) lexes them, in this order, into the boot image, and
# start-up evaluates them in that order (each file may use what the files
# before it made).
set(ZEL_LIBRARY_SOURCES
  library/core.zel
  library/conversions.zel
  library/general.zel
  library/math.zel
  library/load.zel
  library/save.zel
  library/values.zel
  library/collect.zel
  library/paths.zel
  library/system.zel
  library/codecs.zel
  library/reactivity.zel
  library/schemes.zel
  library/thru.zel
  library/tools.zel
  library/preprocessor.zel
  library/json.zel
  library/csv.zel
  console/complete.zel
  library/ask.zel
  console/help.zel
  console/engine.zel
  console/shell.zel
  console/config.zel
)
list(TRANSFORM ZEL_LIBRARY_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE ZEL_LIBRARY_FILES)

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
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  DEPENDS zel-make-image ${ZEL_LIBRARY_FILES}
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
