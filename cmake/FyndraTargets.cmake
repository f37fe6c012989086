# fyndra_library(NAME DIR [DEPS ...]): a shared library made of every .cpp below
# src/DIR (one folder, one layer), installed with its headers and exported.
# DIR may be a list ("core;dataset") when one package spans several folders.
function(fyndra_library name dirs)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
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
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/fyndra>)
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
