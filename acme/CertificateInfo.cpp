#include "acme/CertificateInfo.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool ToSeconds(const ASN1_TIME* time, std::int64_t& seconds) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return false;
    seconds = static_cast<std::int64_t>(timegm(&parts));
    return true;
}

std::vector<std::string> DnsNames(X509* certificate) {
    std::vector<std::string> names;
    auto* list = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    if (!list) return names;
    for (int i = 0; i < sk_GENERAL_NAME_num(list); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(list, i);
        if (name->type != GEN_DNS) continue;
        const ASN1_IA5STRING* text = name->d.dNSName;
        names.push_back(
            Lower(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                              static_cast<std::size_t>(ASN1_STRING_length(text)))));
    }
    GENERAL_NAMES_free(list);
    return names;
}

std::string IssuerName(X509* certificate) {
    const X509_NAME* issuer = X509_get_issuer_name(certificate);
    char text[256] = {};
    if (X509_NAME_get_text_by_NID(issuer, NID_commonName, text, sizeof text) > 0) return text;
    char* whole = X509_NAME_oneline(issuer, nullptr, 0);
    std::string name = whole ? whole : "";
    OPENSSL_free(whole);
    return name;
}

}  // namespace

bool ReadCertificateInfo(const std::string& pem, CertificateInfo& info) {
    using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;
    using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
    const BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    const CertPtr certificate(
        bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr, &X509_free);
    if (!certificate) return false;
    info.dnsNames = DnsNames(certificate.get());
    info.issuer = IssuerName(certificate.get());
    return ToSeconds(X509_get0_notBefore(certificate.get()), info.notBefore) &&
           ToSeconds(X509_get0_notAfter(certificate.get()), info.notAfter);
}

std::int64_t RenewalTime(const CertificateInfo& info, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (std::find(info.dnsNames.begin(), info.dnsNames.end(), Lower(name)) ==
            info.dnsNames.end())
            return 0;
    }
    if (info.notAfter <= info.notBefore) return 0;
    return info.notAfter - (info.notAfter - info.notBefore) / 3;
}

bool CertificateMatchesKey(const std::string& chainPem, const std::string& keyPem) {
    using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;
    using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
    using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
    const BioPtr chain(BIO_new_mem_buf(chainPem.data(), static_cast<int>(chainPem.size())),
                       &BIO_free);
    const BioPtr key(BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size())), &BIO_free);
    if (!chain || !key) return false;
    const CertPtr certificate(PEM_read_bio_X509(chain.get(), nullptr, nullptr, nullptr),
                              &X509_free);
    const KeyPtr privateKey(PEM_read_bio_PrivateKey(key.get(), nullptr, nullptr, nullptr),
                            &EVP_PKEY_free);
    return certificate && privateKey &&
           X509_check_private_key(certificate.get(), privateKey.get()) == 1;
}
