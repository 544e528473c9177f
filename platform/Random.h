// Secret random bytes from the kernel, for session tokens and the like.
#pragma once

#include <cstddef>

// Fills `buffer` with `size` bytes nobody can predict. False when the kernel gives none.
[[nodiscard]] bool FillRandom(void* buffer, std::size_t size);
