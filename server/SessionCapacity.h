// How many sessions the process can hold at once, from what each one takes: descriptors,
// a thread and its stack's memory maps. The first of them to run out bounds the rest.
#pragma once

#include <cstddef>
#include <string>

struct ProcessRoom {
    std::size_t descriptors = 0;   // the open-file limit
    std::size_t heldRefusals = 0;  // descriptors kept for the refusals of banned addresses
    std::size_t threadsLeft = 0;
    std::size_t mapsLeft = 0;
};

enum class SessionBound { Descriptors, Threads, MemoryMaps };

struct SessionCapacity {
    int sessions = 0;  // at least 1
    SessionBound bound = SessionBound::Descriptors;
};

// Pure: the number of sessions `room` holds, with room left beside them for the process's
// other descriptors and threads and for one session in kSessionsPerTransferBudget to
// transfer at once.
SessionCapacity CapacityOf(const ProcessRoom& room);
// "the open-file limit of 20000", "the 180000 threads left", ... for the log.
std::string BoundText(const ProcessRoom& room, SessionBound bound);
// What the administrator raises to lift the bound.
const char* BoundRemedy(SessionBound bound);
