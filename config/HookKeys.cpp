#include "config/HookKeys.h"

#include <array>

namespace {

using V = OptionValues;

constexpr std::array kHookKeys{
    HookKeyRow{"UploadComplete", &V::hookOnUploadComplete, &V::hookOnUploadCompleteUrl},
    HookKeyRow{"UploadFailed", &V::hookOnUploadFailed, &V::hookOnUploadFailedUrl},
    HookKeyRow{"DownloadComplete", &V::hookOnDownloadComplete, &V::hookOnDownloadCompleteUrl},
    HookKeyRow{"Delete", &V::hookOnDelete, &V::hookOnDeleteUrl},
    HookKeyRow{"Rename", &V::hookOnRename, &V::hookOnRenameUrl},
    HookKeyRow{"MakeDir", &V::hookOnMakeDir, &V::hookOnMakeDirUrl},
    HookKeyRow{"RemoveDir", &V::hookOnRemoveDir, &V::hookOnRemoveDirUrl},
    HookKeyRow{"Login", &V::hookOnLogin, &V::hookOnLoginUrl},
    HookKeyRow{"LoginFailed", &V::hookOnLoginFailed, &V::hookOnLoginFailedUrl},
    HookKeyRow{"Ban", &V::hookOnBan, &V::hookOnBanUrl},
    HookKeyRow{"QuotaExceeded", &V::hookOnQuotaExceeded, &V::hookOnQuotaExceededUrl},
    HookKeyRow{"ServerStart", &V::hookOnServerStart, &V::hookOnServerStartUrl},
    HookKeyRow{"ServerStop", &V::hookOnServerStop, &V::hookOnServerStopUrl},
};

}  // namespace

std::span<const HookKeyRow> HookKeyRows() { return kHookKeys; }
