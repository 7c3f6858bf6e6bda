# Shared target settings of the project's own code.

function(v77_target_settings target)
  # Not for the resource compiler, which takes no warning options.
  target_compile_options(${target} PRIVATE $<$<NOT:$<COMPILE_LANGUAGE:RC>>:-Wall$<SEMICOLON>-Wextra>)
  if(V77_WERROR)
    target_compile_options(${target} PRIVATE $<$<NOT:$<COMPILE_LANGUAGE:RC>>:-Werror>)
  endif()
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR})
  if(WIN32)
    target_compile_definitions(${target} PUBLIC NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  endif()
endfunction()

# A static library of product code.
function(v77_library target)
  add_library(${target} STATIC ${ARGN})
  v77_target_settings(${target})
endfunction()

# Self-contained Windows binaries: no MinGW runtime DLLs beside them.
function(v77_static_runtime target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# One CTest entry per test executable. Windows suites run under Wine inside the
# fixture that starts the prefix, wineserver and display for the whole run.
#   v77_test(name SOURCES ... LIBS ... [SERIAL] [TIMEOUT s])
function(v77_test name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  v77_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest)
  v77_static_runtime(${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  # A suite that ran no test is a broken suite, not a passing one.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                       FAIL_REGULAR_EXPRESSION "\\[==========\\] 0 tests from")
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_env
                         ENVIRONMENT "V77_TIMEOUT=${T_TIMEOUT}")
  endif()
  if(T_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
