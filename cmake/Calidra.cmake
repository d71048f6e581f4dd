# Project-wide compiler settings and helpers shared by every folder.

add_compile_options(-Wall -Wextra)
if(CALIDRA_WERROR)
  add_compile_options(-Werror)
endif()

if(CALIDRA_SANITIZE)
  string(REPLACE "," ";" _calidra_sanitizers "${CALIDRA_SANITIZE}")
  foreach(_s IN LISTS _calidra_sanitizers)
    if(NOT _s MATCHES "^(address|undefined|thread|leak)$")
      message(FATAL_ERROR "CALIDRA_SANITIZE: unknown sanitizer '${_s}' (use address,undefined or thread)")
    endif()
  endforeach()
  if("thread" IN_LIST _calidra_sanitizers AND "address" IN_LIST _calidra_sanitizers)
    message(FATAL_ERROR "CALIDRA_SANITIZE: thread cannot be combined with address")
  endif()
  add_compile_options(-fsanitize=${CALIDRA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${CALIDRA_SANITIZE})
endif()

include(GNUInstallDirs)

# A program of the runnable folder. SUBDIR puts it into a subfolder
# (Zonara/, Vantrel/); the run path finds libSorvikC.so at the folder's top,
# so the whole folder can be copied anywhere.
function(calidra_program target)
  cmake_parse_arguments(ARG "" "SUBDIR" "" ${ARGN})
  if(ARG_SUBDIR)
    set(_dir ${CALIDRA_RUNTIME_DIR}/${ARG_SUBDIR})
    set(_rpath "$ORIGIN:$ORIGIN/..")
    set(_dest ${ARG_SUBDIR})
  else()
    set(_dir ${CALIDRA_RUNTIME_DIR})
    set(_rpath "$ORIGIN")
    set(_dest .)
  endif()
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${_dir}
    BUILD_RPATH "${_rpath}"
    INSTALL_RPATH "${_rpath}")
  install(TARGETS ${target} RUNTIME DESTINATION ${_dest})
endfunction()

# A data file copied into the runnable folder at build time and installed
# beside the programs. DESTINATION is relative to the runnable folder.
function(calidra_runtime_file source destination)
  get_filename_component(_name ${source} NAME)
  set(_out ${CALIDRA_RUNTIME_DIR}/${destination}/${_name})
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CALIDRA_RUNTIME_DIR}/${destination}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${source} ${_out}
    DEPENDS ${source} VERBATIM)
  string(MAKE_C_IDENTIFIER "runtime_${destination}_${_name}" _target)
  add_custom_target(${_target} ALL DEPENDS ${_out})
  install(FILES ${source} DESTINATION ${destination})
endfunction()

if(CALIDRA_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# Every test of the project is declared here, so that each carries one of the known labels and the
# same environment. The labels choose the passes that run it (test.sh):
#   e2e          runs programs of the runnable folder or a whole server: the plain pass only;
#   frame-thread threads meet: also run under the thread sanitizer;
#   widgets      checked without the leak check Qt's exit-time caches trip;
#   benchmark    a benchmark's smoke run: the plain pass only (no benchmarks in sanitizer trees);
#   gige, rtsp, package  what a test needs, for choosing tests by hand.
set(CALIDRA_TEST_LABELS e2e frame-thread widgets benchmark gige rtsp package)

# calidra_test(NAME name COMMAND command... [LABELS ...] [TIMEOUT seconds] [ENVIRONMENT ...]
#              [RESOURCE_LOCK name] [FAIL_REGULAR_EXPRESSION expression])
function(calidra_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT;RESOURCE_LOCK;FAIL_REGULAR_EXPRESSION"
    "COMMAND;LABELS;ENVIRONMENT" ${ARGN})
  foreach(_label IN LISTS ARG_LABELS)
    if(NOT _label IN_LIST CALIDRA_TEST_LABELS)
      message(FATAL_ERROR "calidra_test(${ARG_NAME}): unknown label '${_label}' (known: ${CALIDRA_TEST_LABELS})")
    endif()
  endforeach()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND})
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "CALIDRA_SOURCE_DIR=${CMAKE_SOURCE_DIR};CALIDRA_RUNTIME_DIR=${CALIDRA_RUNTIME_DIR};QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
  if(ARG_LABELS)
    set_property(TEST ${ARG_NAME} APPEND PROPERTY LABELS ${ARG_LABELS})
  endif()
  if(ARG_RESOURCE_LOCK)
    set_property(TEST ${ARG_NAME} PROPERTY RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  if(ARG_FAIL_REGULAR_EXPRESSION)
    set_property(TEST ${ARG_NAME} PROPERTY FAIL_REGULAR_EXPRESSION "${ARG_FAIL_REGULAR_EXPRESSION}")
  endif()
  # The thread-sanitizer pass builds only the tests whose threads meet.
  list(GET ARG_COMMAND 0 _program)
  if("frame-thread" IN_LIST ARG_LABELS AND TARGET ${_program})
    if(NOT TARGET frame_thread_tests)
      add_custom_target(frame_thread_tests)
    endif()
    add_dependencies(frame_thread_tests ${_program})
  endif()
endfunction()

# A GoogleTest executable of a folder's tests/: one executable per file is the habit; LIBS are
# linked, the test runs from the build tree. MAIN core or widgets gives it a QCoreApplication or an
# offscreen QApplication; without MAIN it needs no Qt. WRAPPER runs it through a program first (for
# example sdk/tests/in-own-network). The other arguments go to calidra_test.
function(calidra_gtest name)
  if(NOT CALIDRA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "MAIN;TIMEOUT;RESOURCE_LOCK;FAIL_REGULAR_EXPRESSION;WRAPPER"
    "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_MAIN STREQUAL "core")
    set(_main core_test_main)
  elseif(ARG_MAIN STREQUAL "widgets")
    set(_main widget_test_main)
    list(APPEND ARG_LABELS widgets)
  elseif(ARG_MAIN)
    message(FATAL_ERROR "calidra_gtest(${name}): MAIN is core or widgets, not ${ARG_MAIN}")
  else()
    set(_main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${_main} test_waiting GTest::gtest GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(_options "")
  foreach(_option TIMEOUT RESOURCE_LOCK FAIL_REGULAR_EXPRESSION)
    if(ARG_${_option})
      list(APPEND _options ${_option} "${ARG_${_option}}")
    endif()
  endforeach()
  if(ARG_WRAPPER)
    set(_command ${ARG_WRAPPER} $<TARGET_FILE:${name}>)
  else()
    set(_command ${name})
  endif()
  calidra_test(NAME ${name} COMMAND ${_command} LABELS ${ARG_LABELS} ENVIRONMENT ${ARG_ENVIRONMENT} ${_options})
endfunction()
