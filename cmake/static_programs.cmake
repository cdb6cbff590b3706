# The seven programs are linked statically where the toolchain can: a
# process then maps no shared libraries and resolves no symbols at start,
# which halves the start-up of a program that writes a few rows (measured
# 2.5-3.3 ms of CPU dynamically, 1.2-1.3 ms statically, on a loaded
# machine), and a study starts its program hundreds of times. Sanitizer
# builds and standard libraries without static archives fail the check
# below and stay dynamic.
include(CheckCXXSourceCompiles)
set(SUITE_STATIC_PROGRAMS_DEFAULT OFF)
if(NOT WIN32)
  set(CMAKE_REQUIRED_LINK_OPTIONS -static)
  set(CMAKE_REQUIRED_LIBRARIES ${CMAKE_THREAD_LIBS_INIT})
  check_cxx_source_compiles(
    [=[
#include <cmath>
#include <string>
#include <thread>
int main(int argc, char**) {
    std::string text(static_cast<std::size_t>(argc), 'x');
    std::thread worker([&] { text += std::to_string(std::sin(argc)); });
    worker.join();
    return static_cast<int>(text.size());
}
]=]
    SUITE_CAN_LINK_STATICALLY)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  unset(CMAKE_REQUIRED_LIBRARIES)
  if(SUITE_CAN_LINK_STATICALLY)
    set(SUITE_STATIC_PROGRAMS_DEFAULT ON)
  endif()
endif()
option(SUITE_STATIC_PROGRAMS "Link the seven programs statically, for a faster start" ${SUITE_STATIC_PROGRAMS_DEFAULT})

# Links one program as the option says, with the kernel's own definitions
# of the SIMD library's entry points rather than its shared library, which
# would add about 4 ms of CPU to each start (measured: 1 ms statically, 2 ms
# dynamically, 6 ms with the library, for montecarlo1d --rows 1).
function(suite_link_program program)
  if(SUITE_STATIC_PROGRAMS AND NOT WIN32)
    target_link_options(${program} PRIVATE -static)
  endif()
  if(TARGET suite_simd_entry_points)
    set_target_properties(${program} PROPERTIES SUITE_OWN_SIMD_ENTRY_POINTS ON)
    target_link_libraries(${program} PRIVATE suite_simd_entry_points)
  endif()
endfunction()
