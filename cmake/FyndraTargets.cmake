# Public headers are spelled <fyndra/LAYER/unit.h> everywhere: in our own
# sources and in a consumer's. The build tree gets an include folder whose
# fyndra/ entry links to src/, so the source tree keeps one folder per layer;
# the install tree copies the headers to include/fyndra/.
set(FYNDRA_BUILD_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
file(MAKE_DIRECTORY ${FYNDRA_BUILD_INCLUDE_DIR})
file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src ${FYNDRA_BUILD_INCLUDE_DIR}/fyndra SYMBOLIC)

# fyndra_library(NAME DIR [DEPS ...] [PKG ...]): a shared library made of every
# .cpp below src/DIR (one folder, one layer), installed with its headers and
# exported. DIR may be a list ("core;dataset") when one package spans several
# folders. DEPS are link targets; PKG names the pkg-config modules of the
# external libraries among them, for the library's own NAME.pc file.
# GUI marks a library that links a GUI toolkit: it stays out of fyndra.pc (a
# program that uses no GUI links none) and goes to fyndra-NAME.pc instead,
# NAME being the library's name without the fyndra_ prefix.
function(fyndra_library name dirs)
  cmake_parse_arguments(ARG "GUI" "" "DEPS;PKG" ${ARGN})
  set(srcs)
  set(hdrs)
  foreach(dir IN LISTS dirs)
    file(GLOB_RECURSE dir_srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
    file(GLOB_RECURSE dir_hdrs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.h)
    list(APPEND srcs ${dir_srcs})
    list(APPEND hdrs ${dir_hdrs})
  endforeach()
  if(srcs)
    add_library(${name} ${srcs} ${hdrs})
    target_compile_options(${name} PRIVATE -Wall -Wextra)
    set(scope PUBLIC)
  else()
    # A layer whose units are all still headers.
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  add_library(Fyndra::${name} ALIAS ${name})
  target_include_directories(${name} ${scope}
    $<BUILD_INTERFACE:${FYNDRA_BUILD_INCLUDE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(ARG_DEPS)
    target_link_libraries(${name} ${scope} ${ARG_DEPS})
  endif()
  install(TARGETS ${name} EXPORT FyndraTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(dir IN LISTS dirs)
    if(EXISTS ${PROJECT_SOURCE_DIR}/src/${dir})
      install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/${dir}/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/fyndra/${dir}
        FILES_MATCHING PATTERN "*.h")
    endif()
  endforeach()
  if(ARG_GUI)
    set_property(GLOBAL APPEND PROPERTY FYNDRA_GUI_LIBRARIES ${name})
    set_property(GLOBAL PROPERTY FYNDRA_GUI_PKG_${name} ${ARG_PKG})
    return()
  endif()
  if(srcs)
    set_property(GLOBAL APPEND PROPERTY FYNDRA_LIBRARIES ${name})
  endif()
  set_property(GLOBAL APPEND PROPERTY FYNDRA_PKG_MODULES ${ARG_PKG})
endfunction()

# fyndra_pkgconfig(): fyndra.pc for build systems other than CMake: every
# layer's library, highest layer first, and the pkg-config modules of the
# external libraries they stand on.
function(fyndra_pkgconfig)
  get_property(libs GLOBAL PROPERTY FYNDRA_LIBRARIES)
  get_property(mods GLOBAL PROPERTY FYNDRA_PKG_MODULES)
  list(REMOVE_DUPLICATES mods)
  list(REVERSE libs)
  list(TRANSFORM libs PREPEND "-l")
  list(JOIN libs " " FYNDRA_PC_LIBS)
  list(JOIN mods " " FYNDRA_PC_REQUIRES)
  # The file names its prefix relative to its own folder, so an installed tree
  # can be moved (or installed with --prefix) and still be found.
  file(RELATIVE_PATH FYNDRA_PC_UP /x/${CMAKE_INSTALL_LIBDIR}/pkgconfig /x)
  string(REGEX REPLACE "/$" "" FYNDRA_PC_UP "${FYNDRA_PC_UP}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/fyndra.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/fyndra.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/fyndra.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  # One file per GUI library: the library on top of fyndra and its toolkit.
  get_property(gui GLOBAL PROPERTY FYNDRA_GUI_LIBRARIES)
  foreach(lib IN LISTS gui)
    get_property(mods GLOBAL PROPERTY FYNDRA_GUI_PKG_${lib})
    string(REGEX REPLACE "^fyndra_" "" FYNDRA_PC_GUI_NAME ${lib})
    set(FYNDRA_PC_GUI_LIB "-l${lib}")
    list(JOIN mods " " FYNDRA_PC_GUI_REQUIRES)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/fyndra-gui.pc.in
      ${PROJECT_BINARY_DIR}/pkgconfig/fyndra-${FYNDRA_PC_GUI_NAME}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/fyndra-${FYNDRA_PC_GUI_NAME}.pc
      DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endforeach()
endfunction()

# fyndra_test(NAME DIR LIBS...): one GoogleTest executable made of every .cpp
# below tests/DIR (or each folder of a list "a;b"), registered with CTest.
function(fyndra_test name dirs)
  set(srcs)
  foreach(dir IN LISTS dirs)
    file(GLOB_RECURSE dir_srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp)
    list(APPEND srcs ${dir_srcs})
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE -Wall -Wextra)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "FYNDRA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
