// Authenticode signing of a finished installer, by Debian's osslsigncode:
// Windows shows the vendor instead of an unknown publisher. The signature
// goes behind the package, where the setup program does not look.
#pragma once

#include <string>

struct CodeSigningOptions {
    std::string cert;         // PEM certificate chain, the signer's first
    std::string key;          // its PEM private key
    std::string pkcs12;       // or both in one PKCS#12 file
    std::string passFile;     // the password of pkcs12 (or of an encrypted key)
    std::string timestampUrl; // an RFC 3161 time-stamp server, optional

    bool Enabled() const { return !cert.empty() || !key.empty() || !pkcs12.empty(); }
};

// Whether the options go together: certificate and key both or neither,
// not with a PKCS#12 file; a password file or a time-stamp server only when
// signing; when signing, KXPACK_SIGNING_TIMEOUT (the seconds osslsigncode
// may take, 120 when not set) a number. False, with the reason.
bool CheckSigningOptions(const CodeSigningOptions& options, std::string& error);

// Whether every file named can be read and osslsigncode is installed:
// checked before the build starts, so that signing fails early when it can.
bool CheckSigningInputs(const CodeSigningOptions& options, std::string& error);

// Signs `unsignedPath` (the finished installer, in its temporary file) into
// a second temporary file beside `outputPath` and renames that into place,
// with the unsigned file's permissions. On failure `outputPath` is as it
// was and the second file is gone; `unsignedPath` is left to its owner.
bool SignInto(const CodeSigningOptions& options, const std::string& unsignedPath,
              const std::string& outputPath, std::string& error);
