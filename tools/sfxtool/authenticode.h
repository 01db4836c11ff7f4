// The check of a file's Authenticode signature behind `sfxtool verify`:
// the file's digest against the signed one, and the signature against the
// signer's certificate, with OpenSSL's libcrypto. Whether the certificate
// is trusted is not asked; that is Windows' decision, and the certificates
// of tests are self-signed.
#ifndef SFXTOOL_AUTHENTICODE_H_
#define SFXTOOL_AUTHENTICODE_H_

#include <string>

namespace sfxtool {

// What `verify` says of a file's Authenticode signature.
struct AuthenticodeCheck {
  enum State { kUnsigned, kIntact, kBroken } state = kUnsigned;
  // The subject of the signer's certificate ("/CN=...", OpenSSL's one-line
  // form) when the signature names one that it carries.
  std::string signer;
  // For kBroken: what is wrong, one short line.
  std::string problem;
};

// Checks the signature of the PE file at `path`. kUnsigned when the file
// is no PE program or its security directory entry is empty. kIntact when
// the certificate table holds a PKCS#7 SignedData over Authenticode
// content whose file digest equals the file's own, whose signed attributes
// carry the digest of that content, and whose signature over those
// attributes verifies with the signer's certificate. kBroken otherwise,
// also when the file cannot be read.
AuthenticodeCheck CheckAuthenticode(const std::string& path);

// Checks, before anything is signed, that the certificate file
// `certificate` (PEM, possibly with its chain, or one DER certificate) and
// the private key file `key` (PEM or DER) can sign: the key belongs to a
// certificate of the file, and that certificate is valid today. Without
// `key`, `certificate` is a PKCS#12 file that holds both. An encrypted
// key or PKCS#12 file is opened with `*password` when given (a key must be
// PEM: osslsigncode reads no other encrypted key); without one it passes
// when `can_ask` (osslsigncode will ask for its password on the terminal)
// and is not checked further. False, with `*problem` saying why in one
// line and what to do, otherwise.
// Whether the PKCS#12 file `file` opens only with a password (false for
// any other file).
bool Pkcs12NeedsPassword(const std::string& file);

bool CheckSigningKey(const std::string& certificate, const std::string& key,
                     bool can_ask, const std::string* password,
                     std::string* problem);

}  // namespace sfxtool

#endif  // SFXTOOL_AUTHENTICODE_H_
