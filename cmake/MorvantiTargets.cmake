# Settings that every target of the project shares.
add_library(morvanti_options INTERFACE)
target_compile_definitions(morvanti_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601 STRICT)
target_compile_options(morvanti_options INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wshadow>)
target_include_directories(morvanti_options INTERFACE ${PROJECT_SOURCE_DIR})
# Everything is linked statically, so the executables run alone on a bare Windows.
target_link_options(morvanti_options INTERFACE -static -static-libgcc -static-libstdc++)

# morvanti_library(NAME SOURCES... [DEPENDS libs...])
function(morvanti_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC morvanti_options ${ARG_DEPENDS})
endfunction()
