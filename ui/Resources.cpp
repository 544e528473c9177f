#include "ui/Resources.h"

#include <QtGlobal>

// NOTE: a static library's resources are only linked in when something refers to them.
void EnsureUiResources() {
    static bool registered = false;
    if (registered) return;
    Q_INIT_RESOURCE(resources);
    registered = true;
}
