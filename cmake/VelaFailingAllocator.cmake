# velapng_failing_allocator(TARGET): links the failing allocator (tests/support/
# failing_allocator.h) into the executable TARGET. On Linux the executable then defines and
# exports malloc, free and operator new for every library it loads; on Windows and under
# ThreadSanitizer it gets the version that injects nothing.
include_guard(GLOBAL)

function(velapng_failing_allocator target)
  set(support "${PROJECT_SOURCE_DIR}/tests/support")
  if(WIN32 OR "thread" IN_LIST VELAPNG_SANITIZE)
    target_sources(${target} PRIVATE "${support}/failing_allocator_absent.cpp")
    return()
  endif()
  target_sources(${target} PRIVATE "${support}/failing_allocator.cpp")
  # The allocator runs before the sanitizers have mapped their shadow memory (their own start
  # calls dlsym, which allocates), so it must not be instrumented; nor is it worth coverage.
  if(VELAPNG_SANITIZE OR VELAPNG_FUZZ)
    set_source_files_properties("${support}/failing_allocator.cpp" TARGET_DIRECTORY ${target}
                                PROPERTIES COMPILE_OPTIONS "-fno-sanitize=all")
  endif()
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  # A dlopen'ed library binds malloc to the executable's only when the executable exports it.
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
