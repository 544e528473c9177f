#include "tests/support/TestCertificates.h"

#include "tests/support/ChildProcess.h"

bool MakeTestCertificate(const std::string& certificateFile, const std::string& keyFile, int days) {
    return RunToEnd({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                     "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=localhost", "-addext",
                     "subjectAltName=DNS:localhost,IP:127.0.0.1", "-days", std::to_string(days),
                     "-keyout", keyFile, "-out", certificateFile})
               .status == 0;
}
