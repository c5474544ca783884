# Unity builds: sources of a target compile in batches, so each batch parses the shared headers
# once. Batches of 8 keep enough of them for two or more cores to share.
set(DK_UNITY_BATCH_SIZE 8 CACHE STRING "Sources per unity batch")

# dk_beast_sources(files...): sources that instantiate Boost.Beast/asio's stream templates compile
# on their own (so they run beside the other batches) and with line tables only: full debug info
# of those templates doubles their compile time, and a stack trace still shows file and line.
function(dk_beast_sources)
  set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_OPTIONS -g1)
  set_property(SOURCE ${ARGN} PROPERTY SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()

function(dk_unity target)
  if(DK_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${DK_UNITY_BATCH_SIZE})
  endif()
endfunction()

# dk_declare_layer(name dir PUBLIC deps... PRIVATE deps... [INCLUDE root]): records which
# libraries the sources under dir may include headers of, and the folder its own headers are
# included from when that is not src/ (scripts/check-layers reads the record from the build tree).
function(dk_declare_layer name dir)
  cmake_parse_arguments(ARG "" "INCLUDE" "PUBLIC;PRIVATE" ${ARGN})
  string(REPLACE ";" "," public "${ARG_PUBLIC}")
  string(REPLACE ";" "," private "${ARG_PRIVATE}")
  set_property(GLOBAL APPEND PROPERTY DK_LAYERS "${name}|${dir}|${public}|${private}|${ARG_INCLUDE}")
endfunction()

# The targets `target` links, directly or through the public dependencies of those, into `out`.
function(dk_link_closure target out)
  set(seen ${${out}})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(deps ${target} INTERFACE_LINK_LIBRARIES)
  else()
    get_target_property(deps ${target} LINK_LIBRARIES)
  endif()
  foreach(dep ${deps})
    if(TARGET ${dep} AND NOT dep IN_LIST seen)
      list(APPEND seen ${dep})
      dk_link_closure(${dep} seen)
    endif()
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Writes the layer record: one line per target, "name|dir|public deps|private deps".
function(dk_write_layers file)
  get_property(layers GLOBAL PROPERTY DK_LAYERS)
  string(REPLACE ";" "\n" text "${layers}")
  file(WRITE ${file} "${text}\n")
endfunction()

# dk_add_library(name dir [INTERFACE] [PUBLIC deps...] [PRIVATE deps...] [DEFINES defs...])
# One static library from every .cpp under dir (re-globbed at build time), or an interface
# library while the folder holds headers only. INTERFACE: an interface library over its PUBLIC
# deps whatever the folder holds (a folder of rooms, each room its own library).
function(dk_add_library name dir)
  cmake_parse_arguments(ARG "INTERFACE" "" "PUBLIC;PRIVATE;DEFINES" ${ARGN})
  dk_declare_layer(${name} ${dir} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  set(sources)
  if(NOT ARG_INTERFACE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${DK_SOURCE_ROOT})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINES})
    dk_unity(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${DK_SOURCE_ROOT})
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC})
  endif()
endfunction()

# dk_add_test(name dir deps...): one GoogleTest program from every .cpp under dir.
function(dk_add_test name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(deps)
  foreach(dep ${ARGN})
    if(TARGET ${dep})
      list(APPEND deps ${dep})
    endif()
  endforeach()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${DK_SOURCE_ROOT})
  target_link_libraries(${name} PRIVATE ${deps} dk_test_support GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE DK_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
  dk_unity(${name})
  # GoogleTest and the standard headers every test uses, parsed once for all test programs.
  if(TARGET dk_test_pch)
    # The compiler's default (PIE) on both sides, so that the header built once fits every program.
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
    target_precompile_headers(${name} REUSE_FROM dk_test_pch)
  endif()
  # Tests above the UI platform drive screens through the UI test driver.
  set(closure)
  dk_link_closure(${name} closure)
  if(TARGET dk_ui_test_support AND dk_platform_ui IN_LIST closure)
    target_link_libraries(${name} PRIVATE dk_ui_test_support)
    list(APPEND deps dk_ui_test_support)
  endif()
  file(RELATIVE_PATH layer_dir ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
  dk_declare_layer(${name} ${layer_dir} PRIVATE ${deps} dk_test_support)
  # In a random order every run (each test leaves the process as it found it); the program prints
  # the seed, and --gtest_random_seed=N repeats a failing order.
  # A long program runs as DK_TEST_SHARDS_<name> parts side by side (GoogleTest's own sharding),
  # so that on two cores under a sanitizer it is not the one test the whole run waits for.
  set(environment "DK_RESOURCE_DIR=${DK_RESOURCE_DIR};DK_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/data")
  set(shards 1)
  if(DEFINED DK_TEST_SHARDS_${name})
    set(shards ${DK_TEST_SHARDS_${name}})
  endif()
  if(shards GREATER 1)
    math(EXPR last "${shards} - 1")
    foreach(shard RANGE ${last})
      add_test(NAME ${name}_${shard} COMMAND ${name} --gtest_brief=1 --gtest_shuffle)
      set_tests_properties(${name}_${shard} PROPERTIES
        ENVIRONMENT "${environment};GTEST_TOTAL_SHARDS=${shards};GTEST_SHARD_INDEX=${shard}"
        TIMEOUT 900)
    endforeach()
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 --gtest_shuffle)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 900)
  endif()
  set_property(GLOBAL APPEND PROPERTY DK_TEST_TARGETS ${name})
endfunction()

# Every program that links the drawing layer (the demo host, test programs, benchmarks that render)
# shows the project's images, so it waits for tools/make-images to draw them: building just one of
# them on a fresh tree must not leave its screens without icons.
function(dk_depend_on_images dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" AND NOT target STREQUAL "make-images")
      set(closure)
      dk_link_closure(${target} closure)
      if(dk_platform_graphics IN_LIST closure)
        add_dependencies(${target} dk_images)
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    dk_depend_on_images(${subdir})
  endforeach()
endfunction()
