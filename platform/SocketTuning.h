// Socket and thread settings that transfers rely on.
#pragma once

// Blocks SIGPIPE for the calling thread (once per thread; cheap afterwards). Sends
// that cannot suppress the signal per call (sendfile) then fail with EPIPE instead of
// killing the process, whatever the process-wide disposition of the signal is.
void BlockBrokenPipeSignal();

// Turns off send coalescing (Nagle) on connected TCP socket `fd`. A reply that follows
// another at once (150, then 226 after a small file) would otherwise wait for the
// client's delayed acknowledgement, some 40 ms. False when the option cannot be set.
bool DisableSendCoalescing(int fd);

// Keeps TCP urgent data in the byte stream of connected socket `fd`. Clients send ABOR
// as urgent data (Python's ftplib sends the whole line so); without this the kernel
// takes the line's last byte out of the stream and the command never ends. False when
// the option cannot be set.
bool KeepUrgentDataInline(int fd);
