# The frame of the libFuzzer projects under tests/*/fuzz: each is a project
# of its own, so that only clang and only its sources are involved; every
# source is instrumented for coverage and checked by ASan and UBSan.
#
#   kombra_fuzz_project(LIBRARIES libant libCfg ... FIXTURES config ...)
#       builds those library folders and fixture writers of the source tree;
#   kombra_fuzz_target(name SOURCES ... LIBS ... [INCLUDES ...])
#       a fuzz program (linked with libFuzzer's main);
#   kombra_fuzz_corpus(name SOURCES ... LIBS ...)
#       the program that writes its seed corpus.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "the fuzz build needs clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

get_filename_component(KOMBRA_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
list(APPEND CMAKE_MODULE_PATH ${KOMBRA_ROOT}/cmake)
include(Warnings)

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

macro(kombra_fuzz_project)
    cmake_parse_arguments(FP "" "" "LIBRARIES;FIXTURES" ${ARGN})
    foreach(lib IN LISTS FP_LIBRARIES)
        add_subdirectory(${KOMBRA_ROOT}/${lib} ${lib})
    endforeach()
    foreach(fixture IN LISTS FP_FIXTURES)
        include(${KOMBRA_ROOT}/tools/fixtures/${fixture}.cmake)
    endforeach()
endmacro()

function(kombra_fuzz_target name)
    cmake_parse_arguments(FT "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
    add_executable(${name} ${FT_SOURCES})
    target_include_directories(${name} PRIVATE ${FT_INCLUDES})
    target_link_libraries(${name} PRIVATE ${FT_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    kombra_warnings(${name})
endfunction()

function(kombra_fuzz_corpus name)
    cmake_parse_arguments(FC "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${FC_SOURCES})
    target_include_directories(${name} PRIVATE ${KOMBRA_ROOT}/tests/support)
    target_link_libraries(${name} PRIVATE ${FC_LIBS})
    kombra_warnings(${name})
endfunction()
