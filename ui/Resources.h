// The icon and the help page are compiled into the ui library; this registers them.
#pragma once

// Safe to call more than once. Main thread.
void EnsureUiResources();
