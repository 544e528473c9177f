#include "platform/CertificateFacts.h"

#include <arpa/inet.h>
#include <openssl/asn1.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

#include "platform/TlsContext.h"

namespace {

// A certificate with more names is shown with its first ones.
constexpr std::size_t kMaxNamesShown = 64;
constexpr std::size_t kMaxNameLength = 255;

// Names are shown and logged: anything but printable ASCII becomes '?'.
std::string PrintableName(const unsigned char* bytes, int length) {
    std::string name;
    for (int i = 0; i < length && name.size() < kMaxNameLength; ++i)
        name += bytes[i] >= 0x20 && bytes[i] < 0x7f ? static_cast<char>(bytes[i]) : '?';
    return name;
}

std::string AddressName(const ASN1_OCTET_STRING* address) {
    const int length = ASN1_STRING_length(address);
    const unsigned char* bytes = ASN1_STRING_get0_data(address);
    char text[INET6_ADDRSTRLEN] = {};
    const int family = length == 4 ? AF_INET : length == 16 ? AF_INET6 : AF_UNSPEC;
    if (family == AF_UNSPEC || ::inet_ntop(family, bytes, text, sizeof text) == nullptr) return {};
    return text;
}

std::vector<std::string> AlternativeNames(const X509* certificate) {
    std::vector<std::string> names;
    using NamesPtr = std::unique_ptr<GENERAL_NAMES, decltype(&GENERAL_NAMES_free)>;
    const NamesPtr found(static_cast<GENERAL_NAMES*>(
                             X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)),
                         &GENERAL_NAMES_free);
    if (!found) return names;
    for (int i = 0; i < sk_GENERAL_NAME_num(found.get()) && names.size() < kMaxNamesShown; ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(found.get(), i);
        std::string name;
        if (entry->type == GEN_DNS)
            name = PrintableName(ASN1_STRING_get0_data(entry->d.dNSName),
                                 ASN1_STRING_length(entry->d.dNSName));
        else if (entry->type == GEN_IPADD)
            name = AddressName(entry->d.iPAddress);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

std::string CommonName(const X509* certificate) {
    const X509_NAME* subject = X509_get_subject_name(certificate);
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (at < 0) return {};
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at));
    return PrintableName(ASN1_STRING_get0_data(value), ASN1_STRING_length(value));
}

}  // namespace

bool ReadCertificateFacts(const X509* certificate, CertificateFacts& facts) {
    if (certificate == nullptr) return false;
    std::tm end{};
    if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &end) != 1) return false;
    facts.notAfter = ::timegm(&end);
    facts.fingerprint = HexFingerprint(certificate);
    facts.names = AlternativeNames(certificate);
    if (facts.names.empty()) {
        std::string common = CommonName(certificate);
        if (!common.empty()) facts.names.push_back(std::move(common));
    }
    return true;
}
