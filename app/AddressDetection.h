// Public-address detection wired to option.ini and the server controller: the settings are
// read from the program directory's option.ini at every start and reply, and a detected
// address becomes the controller's passive address. Shared by the window and the headless
// server.
#pragma once

#include <memory>
#include <string>

#include "net/AddressDetector.h"

class CFtpServer;
class EventLoop;

// What the detection needs of option.ini, read now.
DetectionSettings ReadDetectionSettings(const std::string& programDir);

// A detector on `loop` (the main thread's) for `server`, which outlives it.
std::unique_ptr<CAddressDetector> MakeAddressDetector(EventLoop& loop, CFtpServer& server,
                                                      DetectionTiming timing = {});
