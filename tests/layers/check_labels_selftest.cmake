# The label check of the configure step on a small source of its own: a
# suite named nowhere is reported, labelled ones (by name or pattern) are
# not, in each form a suite is declared.
#   cmake -DWORK_DIR=<folder> -P check_labels_selftest.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../TestLabels.cmake)
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/SampleTest.cpp" [=[
TEST(Named, A) {}
TEST_F(Fixture, B) {}
  TEST_P( Param, C) {}
TYPED_TEST(CliTyped, D) {}
TEST(Stray, E) {}
TEST_F(StrayFixture, F) {}
// TEST(Commented, G) is no declaration
]=])
zv_unlabelled_suites(got "SampleTest.cpp" "Named;Fixture;Param;Cli*" "${WORK_DIR}" "${WORK_DIR}")
set(want "Stray (SampleTest.cpp);StrayFixture (SampleTest.cpp)")
if(NOT got STREQUAL want)
  message(FATAL_ERROR "unlabelled suites: got '${got}', want '${want}'")
endif()
zv_unlabelled_suites(got "SampleTest.cpp" "Named;Fixture;Param;Cli*;Stray*" "${WORK_DIR}" "${WORK_DIR}")
if(NOT got STREQUAL "")
  message(FATAL_ERROR "all labelled, yet reported: '${got}'")
endif()
