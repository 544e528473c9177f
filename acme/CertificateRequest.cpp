#include "acme/CertificateRequest.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "acme/EcKey.h"

namespace {

using RequestPtr = std::unique_ptr<X509_REQ, decltype(&X509_REQ_free)>;
using ExtensionsPtr =
    std::unique_ptr<STACK_OF(X509_EXTENSION), void (*)(STACK_OF(X509_EXTENSION)*)>;

void FreeExtensions(STACK_OF(X509_EXTENSION) * list) {
    sk_X509_EXTENSION_pop_free(list, X509_EXTENSION_free);
}

// The CA takes the names from the alternative names; a common name over 64 bytes would
// make the request invalid, so a long first name gets none.
bool SetSubject(X509_REQ* request, const std::string& first) {
    if (first.size() > 64) return true;
    X509_NAME* subject = X509_REQ_get_subject_name(request);
    return X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                      reinterpret_cast<const unsigned char*>(first.c_str()), -1, -1,
                                      0) == 1;
}

bool AddAltNames(X509_REQ* request, const std::vector<std::string>& names) {
    std::string value;
    for (const std::string& name : names) value += (value.empty() ? "DNS:" : ",DNS:") + name;
    X509_EXTENSION* extension =
        X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, value.c_str());
    if (!extension) return false;
    ExtensionsPtr list(sk_X509_EXTENSION_new_null(), &FreeExtensions);
    if (!list || sk_X509_EXTENSION_push(list.get(), extension) == 0) {
        X509_EXTENSION_free(extension);
        return false;
    }
    return X509_REQ_add_extensions(request, list.get()) == 1;
}

}  // namespace

std::string CertificateRequestDer(const std::vector<std::string>& names, const CEcKey& key,
                                  std::string& error) {
    RequestPtr request(X509_REQ_new(), &X509_REQ_free);
    const bool made = request && !names.empty() && X509_REQ_set_version(request.get(), 0) == 1 &&
                      SetSubject(request.get(), names.front()) &&
                      AddAltNames(request.get(), names) &&
                      X509_REQ_set_pubkey(request.get(), key.Native()) == 1 &&
                      X509_REQ_sign(request.get(), key.Native(), EVP_sha256()) > 0;
    const int length = made ? i2d_X509_REQ(request.get(), nullptr) : -1;
    if (length <= 0) {
        error = "cannot make the certificate request";
        return {};
    }
    std::string der(static_cast<std::size_t>(length), '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509_REQ(request.get(), &out);
    return der;
}
