// Certificates made with the openssl command for tests that need one with a given life.
#pragma once

#include <string>

// Writes a self-signed P-256 certificate for localhost and 127.0.0.1, valid for `days` from
// now, to `certificateFile` and its key to `keyFile`. False when openssl fails.
[[nodiscard]] bool MakeTestCertificate(const std::string& certificateFile,
                                       const std::string& keyFile, int days);
