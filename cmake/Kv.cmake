# Shared settings of the three build flavours: linux (native core, tools and tests),
# win64 (the add-in library and its tools) and win32 (the updater and the presence control).

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KV_FLAVOUR win64)
  else()
    set(KV_FLAVOUR win32)
  endif()
else()
  set(KV_FLAVOUR linux)
endif()

# Every flavour's tree lies in one build folder (build/<flavour>, or $(BUILD)/<flavour> from the
# Makefile); the downloaded sources and the Wine prefixes live beside them in that folder.
get_filename_component(_kv_build_default "${CMAKE_BINARY_DIR}" DIRECTORY)
set(KV_BUILD_ROOT "${_kv_build_default}" CACHE PATH "The build folder that holds the flavour trees")
set(KV_OUT_ROOT "${CMAKE_SOURCE_DIR}/out" CACHE PATH "Where the deliverables go")
set(KV_OUT_DIR "${KV_OUT_ROOT}/${KV_FLAVOUR}")
set(KV_THIRD_PARTY "${KV_BUILD_ROOT}/third_party" CACHE PATH "Downloaded sources (tinyxml2)")
set(KV_WINE_ROOT "${KV_BUILD_ROOT}/wine" CACHE PATH "Base and throwaway Wine prefixes")
# The launcher as the tests call it: pinned to this build folder's Wine prefixes, whoever runs ctest.
set(KV_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run.sh")
file(WRITE "${KV_WINE_RUN}"
  "#!/usr/bin/env bash\nexport KV_WINE_ROOT='${KV_WINE_ROOT}' KV_BUILD='${KV_BUILD_ROOT}'\n"
  "exec '${CMAKE_SOURCE_DIR}/scripts/wine-run.sh' \"$@\"\n")
file(CHMOD "${KV_WINE_RUN}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(KV_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  # One self-contained file per deliverable: no mingw runtime DLLs to ship or find under Wine.
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_link_options(-Wl,--enable-stdcall-fixup)
  endif()
else()
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
endif()

# Puts a deliverable or tool into out/<flavour>/.
function(kv_output target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${KV_OUT_DIR}"
    LIBRARY_OUTPUT_DIRECTORY "${KV_OUT_DIR}"
    PREFIX "")
endfunction()

# TinyXML-2: Debian's library natively, its source compiled in for Windows.
if(WIN32)
  if(NOT EXISTS "${KV_THIRD_PARTY}/tinyxml2/tinyxml2.cpp")
    message(FATAL_ERROR "tinyxml2 source missing: run scripts/deps.sh")
  endif()
  add_library(tinyxml2 STATIC "${KV_THIRD_PARTY}/tinyxml2/tinyxml2.cpp")
  target_include_directories(tinyxml2 SYSTEM PUBLIC "${KV_THIRD_PARTY}/tinyxml2")
  target_compile_options(tinyxml2 PRIVATE -w)
else()
  find_library(KV_TINYXML2_LIB tinyxml2 REQUIRED)
  add_library(tinyxml2 INTERFACE)
  target_link_libraries(tinyxml2 INTERFACE ${KV_TINYXML2_LIB})
endif()

# GoogleTest: Debian's build natively, built from Debian's packaged sources for Windows.
if(BUILD_TESTING)
  if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main gmock gmock_main)
      if(NOT TARGET GTest::${t})
        add_library(GTest::${t} ALIAS ${t})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
    find_package(Threads REQUIRED)
  endif()
endif()

# A test that runs a Windows program under Wine through the launcher.
#   kv_wine_test(NAME n COMMAND prog.exe args... [TIMEOUT s] [LABELS l])
function(kv_wine_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  list(GET T_COMMAND 0 prog)
  list(REMOVE_AT T_COMMAND 0)
  if(TARGET ${prog})
    set(prog "$<TARGET_FILE:${prog}>")
  endif()
  math(EXPR T_CTEST_TIMEOUT "${T_TIMEOUT} + 60")
  add_test(NAME ${T_NAME} COMMAND "${KV_WINE_RUN}" --timeout ${T_TIMEOUT} -- "${prog}" ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_CTEST_TIMEOUT} LABELS "wine;${KV_FLAVOUR};${T_LABELS}")
endfunction()

if(KV_FLAVOUR STREQUAL linux AND CMAKE_CXX_COMPILER_ID MATCHES Clang)
  # Coverage hooks for the fuzzers; harmless for the tests that share these objects.
  list(APPEND KV_SANITIZE_FLAGS -fsanitize=fuzzer-no-link)
  set(KV_FUZZ ON)
else()
  set(KV_FUZZ OFF)
endif()

# A static library of the project. Natively, with tests on, a twin "<name>_san" is built from
# the same sources with AddressSanitizer and UBSan for the tests and fuzzers.
#   kv_library(name SOURCES ... [KV_DEPS kv libraries] [LIBS other libraries])
function(kv_library name)
  cmake_parse_arguments(L "" "" "SOURCES;KV_DEPS;LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${L_KV_DEPS} ${L_LIBS})
  if(KV_FLAVOUR STREQUAL linux AND BUILD_TESTING)
    add_library(${name}_san STATIC ${L_SOURCES})
    target_include_directories(${name}_san PUBLIC "${CMAKE_SOURCE_DIR}")
    target_compile_options(${name}_san PUBLIC ${KV_SANITIZE_FLAGS})
    target_link_options(${name}_san PUBLIC -fsanitize=address,undefined)
    set(sdeps)
    foreach(d ${L_KV_DEPS})
      list(APPEND sdeps ${d}_san)
    endforeach()
    target_link_libraries(${name}_san PUBLIC ${sdeps} ${L_LIBS})
  endif()
endfunction()

# Adds every direct sub-folder of the current folder that has a CMakeLists.txt, so areas of
# tests and tools can be added side by side without editing a shared list.
macro(kv_add_subdirectories)
  file(GLOB _kv_children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT _kv_children)
  foreach(_kv_child ${_kv_children})
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${_kv_child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${_kv_child}/CMakeLists.txt")
      add_subdirectory(${_kv_child})
    endif()
  endforeach()
endmacro()

# The native build tree beside a cross build (Linux-side helpers of the Wine tests live there).
set(KV_NATIVE_BUILD "${KV_BUILD_ROOT}/linux" CACHE PATH "Native build tree")

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
endif()

# Shipped files: the linked file loses its debugging information and symbols, which go to
# <file>.debug beside it (out/<flavour>/, never packed), linked to it by a .gnu_debuglink
# section so that gdb reads a crash from a user's machine against the shipped file. The add-in
# library then gets its update trailer (kvsign), and every shipped file is Authenticode-signed
# last (cmake/Signing.cmake): the trailer is inside what Authenticode signs, and the trailer
# check looks past the certificate table (addin/features/update/Signature.h).
#   kv_ship(target [UPDATE_TRAILER])
function(kv_ship target)
  cmake_parse_arguments(S "UPDATE_TRAILER" "" "" ${ARGN})
  set(file "$<TARGET_FILE:${target}>")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${KV_TRIPLE}-objcopy --only-keep-debug "${file}" "${file}.debug"
    COMMAND ${KV_TRIPLE}-objcopy --strip-all "--add-gnu-debuglink=${file}.debug" "${file}"
    COMMENT "strip $<TARGET_FILE_NAME:${target}> (debugging information in $<TARGET_FILE_NAME:${target}>.debug)"
    VERBATIM)
  if(S_UPDATE_TRAILER)
    add_dependencies(${target} kvupdate_keygen)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${KV_KVSIGN}" sign "${KV_UPDATE_KEY}" "${file}"
      COMMENT "kvsign sign $<TARGET_FILE_NAME:${target}>"
      VERBATIM)
  endif()
  kv_authenticode_post_build(${target})
endfunction()
