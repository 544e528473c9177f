// What the kernel lets the process start besides its descriptors: threads and memory
// maps. Read once at start, so that sessions are capped before either runs out.
#pragma once

#include <cstddef>

// How many more threads the process can start before one is refused: the smallest room
// left under the control group's pids.max (every level up to the root), the kernel's
// threads-max and pid_max (less the threads the system runs) and, unless running as
// root, RLIMIT_NPROC (less this process's own threads, as the user's others are not
// counted). A large number when nothing bounds it.
std::size_t ThreadsLeft();
// How many more memory maps the process can make: vm.max_map_count less the maps it has.
// A large number when the system does not say.
std::size_t MemoryMapsLeft();
