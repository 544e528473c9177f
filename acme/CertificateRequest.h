// The CSR that finalizes an order: the names as DNS subject alternative names, signed
// by the new certificate's own key.
#pragma once

#include <string>
#include <vector>

class CEcKey;

// DER of a PKCS#10 request for `names` signed by `key`; empty, and `error`, on failure.
std::string CertificateRequestDer(const std::vector<std::string>& names, const CEcKey& key,
                                  std::string& error);
