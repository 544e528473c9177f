// AddressSanitizer's defaults for the targets whose inputs allocate and free a few MiB
// each. Behind the default 256 MiB quarantine almost every allocation landed on memory
// the kernel had to fault in afresh (a third of some runs' time); 16 MiB still holds what
// several inputs freed, so a use after free within an input is caught.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
