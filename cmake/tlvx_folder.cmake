# tlvx_folder(NAME DEPENDS lib... [TEST_LIBS lib...] [EXCLUDE file...])
#
# Every folder is one static library made of its *.cpp files, and one
# GoogleTest binary NAME_test made of its *_test.cpp files. Files named in
# EXCLUDE (program entry points) stay out of the library.
function(tlvx_folder name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;TEST_LIBS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  list(REMOVE_ITEM sources ${tests})
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()

  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})

  if(tests)
    add_executable(${name}_test ${tests})
    target_link_libraries(${name}_test PRIVATE ${name} ${ARG_TEST_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}_test DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 600)
  endif()
endfunction()
