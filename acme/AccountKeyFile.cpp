#include "acme/AccountKeyFile.h"

#include "acme/EcKey.h"
#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/TlsContext.h"

std::unique_ptr<CEcKey> LoadOrCreateAccountKey(const std::string& path, std::string& error) {
    if (!IsAbsent(path)) {
        std::string pem;
        std::string why;
        std::unique_ptr<CEcKey> key =
            ReadPemFile(path, pem, why) ? CEcKey::FromPem(pem, why) : nullptr;
        if (!key) error = "the account key " + path + " cannot be used: " + why;
        return key;
    }
    std::unique_ptr<CEcKey> key = CEcKey::Generate(error);
    const std::string pem = key ? key->PrivatePem() : std::string();
    if (pem.empty()) {
        if (error.empty()) error = "cannot write the account key";
        return nullptr;
    }
    std::string why;
    if (!platform::ReplaceFileAtomically(path, pem, 0600, &why)) {
        error = "the account key cannot be written: " + why;
        return nullptr;
    }
    return key;
}
