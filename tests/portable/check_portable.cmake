# Compiles every source of the program's own code (app/, generator/,
# runtime/) with a Windows cross compiler and the program's warnings: they
# need the C++ standard library alone, no toolkit and no POSIX-only call.
# Usage: cmake -DCXX=compiler -DSOURCE_DIR=root -P check_portable.cmake
file(GLOB sources ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/generator/*.cpp ${SOURCE_DIR}/runtime/*.cpp)
if(NOT sources)
    message(FATAL_ERROR "no sources under ${SOURCE_DIR}")
endif()
foreach(source IN LISTS sources)
    execute_process(
        COMMAND ${CXX} -std=c++20 -fsyntax-only -I${SOURCE_DIR} -Wall -Wextra -Wpedantic -Wshadow
                -Wnon-virtual-dtor -Werror ${source}
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${source} does not build with ${CXX}")
    endif()
endforeach()
list(LENGTH sources count)
message(STATUS "${count} sources build with ${CXX}")
