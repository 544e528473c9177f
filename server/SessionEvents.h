// The arguments of the session messages (platform/Messages.h). Their numbers are
// observable: the window's statistics are indexed by them, and they cross threads as
// message parameters.
#pragma once

// A transfer's outcome, counted by the controller and shown as statistics 2 to 5.
enum class TransferEvent {
    None = 0,            // nothing to count (the transfer was refused or stopped by quota)
    DownloadDone = 2,    // a download ended with "226 Transfer complete."
    UploadDone = 3,      // an upload ended with "226 Transfer complete."
    DownloadFailed = 4,  // sending a download failed, or its file shrank
    TransferFailed = 5   // an upload failed, or the client closed a download's connection
};
inline constexpr int kFirstCountedEvent = 2;
inline constexpr int kLastCountedEvent = 5;

// The statistics the controller reports before the transfer events (CWindowSink::OnStatistic).
inline constexpr int kStatisticConnections = 0;         // connections accepted since start
inline constexpr int kStatisticCurrentConnections = 1;  // sessions open now

// The parameter of WM_SESSION_CONTROL, posted by a session to its own thread.
enum class SessionControl {
    CloseDataConnection = 0,  // after the command that asked for it has finished
    EndSession = 1
};
