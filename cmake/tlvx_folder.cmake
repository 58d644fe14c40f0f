# tlvx_folder(NAME DEPENDS lib... [TEST_LIBS lib...] [EXCLUDE file...])
#
# Every folder is one static library made of its *.cpp files, and one
# GoogleTest binary NAME_test made of its *_test.cpp files and those of its
# testing/ subfolder. Files named in EXCLUDE (program entry points) stay out
# of the library.
#
# The testing/ subfolder holds what only tests, benchmarks and fuzz targets
# use. It becomes the library NAME_testing (an interface library when it has
# no sources), which brings NAME and the testing libraries of the folders
# NAME depends on; the programs never link it.
function(tlvx_folder name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;TEST_LIBS;EXCLUDE" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/testing/*_test.cpp)
  file(GLOB testing_sources CONFIGURE_DEPENDS ${dir}/testing/*.cpp)
  if(tests)
    list(REMOVE_ITEM sources ${tests})
    list(REMOVE_ITEM testing_sources ${tests})
  endif()
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${dir}/${ex})
  endforeach()

  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})

  set(testing_links ${name})
  foreach(dep ${ARG_DEPENDS})
    if(TARGET ${dep}_testing)
      list(APPEND testing_links ${dep}_testing)
    endif()
  endforeach()
  if(testing_sources)
    add_library(${name}_testing STATIC ${testing_sources})
    target_link_libraries(${name}_testing PUBLIC ${testing_links})
  else()
    add_library(${name}_testing INTERFACE)
    target_link_libraries(${name}_testing INTERFACE ${testing_links})
  endif()

  if(tests)
    add_executable(${name}_test ${tests})
    target_link_libraries(${name}_test PRIVATE ${name}_testing ${ARG_TEST_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}_test DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 600)
  endif()
endfunction()
