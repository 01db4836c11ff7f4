// Authenticode over a PE file: the digest that covers the file, and the
// PKCS#7 SignedData in its attribute certificate table that signs it. The
// table holds one certificate; a further signature nests in the first
// one's unsigned attributes and is checked the same way.
#include "authenticode.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "host_files.h"
#include "package/signature.h"
#include "platform/file_io.h"
#include "platform/platform.h"

namespace sfxtool {
namespace {

// WIN_CERTIFICATE: dwLength (the whole entry), wRevision, wCertificateType,
// then the certificate itself.
constexpr std::uint32_t kCertificateHeader = 8;
constexpr std::uint16_t kCertificateRevision = 0x0200;
constexpr std::uint16_t kPkcsSignedData = 2;
// Far more than a signature with its certificates, timestamps and nested
// signatures takes; a larger table is not read into memory.
constexpr std::uint32_t kMaxTable = 16u << 20;
constexpr std::uint32_t kReadBlock = 1u << 16;
// SpcIndirectDataContent: the content every Authenticode signature signs.
constexpr char kSpcIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
// The unsigned attribute that carries further (nested) signatures.
constexpr char kNestedSignatureOid[] = "1.3.6.1.4.1.311.2.4.1";
// The unsigned attribute that carries an RFC 3161 timestamp token (a CMS
// SignedData over a TSTInfo), and the older Authenticode timestamp, a
// PKCS#9 countersignature: both sign a digest of the signature value.
constexpr char kRfc3161TimestampOid[] = "1.3.6.1.4.1.311.3.3.1";
// Nested signatures are followed this deep at the most.
constexpr int kMaxNesting = 4;

// Frees what OpenSSL allocated, for the owners below.
struct OpenSslFree {
  void operator()(PKCS7* p) const { PKCS7_free(p); }
  void operator()(X509_SIG* p) const { X509_SIG_free(p); }
  void operator()(ASN1_OBJECT* p) const { ASN1_OBJECT_free(p); }
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(STACK_OF(X509) * p) const { sk_X509_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(PKCS12* p) const { PKCS12_free(p); }
  void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
  void operator()(TS_TST_INFO* p) const { TS_TST_INFO_free(p); }
  void operator()(PKCS7_SIGNER_INFO* p) const { PKCS7_SIGNER_INFO_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, OpenSslFree>;

using Digest = std::vector<std::uint8_t>;

AuthenticodeCheck Broken(const std::string& problem,
                         const std::string& signer) {
  AuthenticodeCheck check;
  check.state = AuthenticodeCheck::kBroken;
  check.signer = signer;
  check.problem = problem;
  return check;
}

// Feeds bytes [from, to) of `file` to `md`. False when a read fails or the
// file ends first.
bool HashRange(sfx::File& file, std::int64_t from, std::int64_t to,
               EVP_MD_CTX* md, std::uint8_t* buffer) {
  if (!file.Seek(from, sfx::File::Origin::kBegin)) return false;
  while (from < to) {
    const auto n = static_cast<std::uint32_t>(
        std::min<std::int64_t>(to - from, kReadBlock));
    if (!sfx::ReadExact(file, buffer, n) ||
        EVP_DigestUpdate(md, buffer, n) != 1) {
      return false;
    }
    from += n;
  }
  return true;
}

// The file's Authenticode digest with `md`: every byte before the
// certificate table but the optional header's CheckSum and the security
// directory entry, which signing rewrites. Empty when the file cannot be
// read.
Digest FileDigest(sfx::File& file, const sfx::PeSigningFields& fields,
                  const EVP_MD* md) {
  const std::int64_t ranges[][2] = {
      {0, fields.checksum_field},
      {fields.checksum_field + 4, fields.security_entry},
      {fields.security_entry + 8, fields.table_offset}};
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  std::vector<std::uint8_t> buffer(kReadBlock);
  if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1) {
    return {};
  }
  for (const auto& range : ranges) {
    if (!HashRange(file, range[0], range[1], context.get(), buffer.data())) {
      return {};
    }
  }
  Digest digest(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &n) != 1) return {};
  digest.resize(n);
  return digest;
}

bool Equal(const Digest& digest, const ASN1_OCTET_STRING* expected) {
  return expected != nullptr &&
         static_cast<std::size_t>(ASN1_STRING_length(expected)) ==
             digest.size() &&
         std::memcmp(ASN1_STRING_get0_data(expected), digest.data(),
                     digest.size()) == 0;
}

// Steps `*p` over the header of the DER element there, which must be a
// definite-length SEQUENCE whose contents (`*length` bytes) fit in `n`.
bool EnterSequence(const unsigned char** p, long n, long* length) {
  int tag = 0;
  int object_class = 0;
  return ASN1_get_object(p, length, &tag, &object_class, n) ==
             V_ASN1_CONSTRUCTED &&
         tag == V_ASN1_SEQUENCE && object_class == V_ASN1_UNIVERSAL;
}

// The SpcIndirectDataContent that a SignedData signs: the contents of its
// SEQUENCE without tag and length (what the messageDigest attribute
// covers), and the DigestInfo of the file it holds after the description
// of the file.
struct IndirectData {
  const unsigned char* contents = nullptr;
  long length = 0;
  Owned<X509_SIG> file_digest;
};

bool ReadIndirectData(PKCS7* p7, IndirectData* data) {
  const PKCS7* inner = p7->d.sign->contents;
  Owned<ASN1_OBJECT> type(OBJ_txt2obj(kSpcIndirectDataOid, 1));
  if (inner == nullptr || type == nullptr ||
      OBJ_cmp(inner->type, type.get()) != 0 || inner->d.other == nullptr ||
      inner->d.other->type != V_ASN1_SEQUENCE) {
    return false;
  }
  const ASN1_STRING* der = inner->d.other->value.sequence;
  const unsigned char* p = ASN1_STRING_get0_data(der);
  if (!EnterSequence(&p, ASN1_STRING_length(der), &data->length)) {
    return false;
  }
  data->contents = p;
  long description = 0;
  if (!EnterSequence(&p, data->length, &description)) return false;
  p += description;
  data->file_digest.reset(
      d2i_X509_SIG(nullptr, &p, data->length - (p - data->contents)));
  return data->file_digest != nullptr;
}

// A certificate subject as "/CN=.../O=...", its texts in UTF-8 (OpenSSL's
// one-line form escapes every byte above 127); control characters as \xNN.
std::string SubjectText(const X509_NAME* name) {
  std::string text;
  for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const int nid = OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry));
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
    text += "/";
    text += nid == NID_undef ? "?" : OBJ_nid2sn(nid);
    text += "=";
    for (int k = 0; k < n; ++k) {
      const unsigned char c = utf8[k];
      if (c < 0x20 || c == 0x7F) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        text += escape;
      } else {
        text += static_cast<char>(c);
      }
    }
    OPENSSL_free(utf8);
  }
  return text;
}

AuthenticodeCheck CheckSignedData(sfx::File& file,
                                  const sfx::PeSigningFields& fields, PKCS7* p7,
                                  int depth);

// The digest with `md` of `bytes`; empty when `md` is unknown.
Digest DigestOf(const EVP_MD* md, const ASN1_STRING* bytes) {
  Digest digest(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  if (md == nullptr ||
      EVP_Digest(ASN1_STRING_get0_data(bytes),
                 static_cast<std::size_t>(ASN1_STRING_length(bytes)),
                 digest.data(), &n, md, nullptr) != 1) {
    return {};
  }
  digest.resize(n);
  return digest;
}

// Checks an RFC 3161 token (`der`) of the signature `info`: its own
// signature over the TSTInfo (with a certificate from the token or from
// `certs`; no chain is built), and that the TSTInfo stamps this signature's
// value. Empty when intact, else what is wrong.
std::string CheckRfc3161Token(const ASN1_STRING* der, PKCS7_SIGNER_INFO* info,
                              STACK_OF(X509) * certs) {
  const unsigned char* p = ASN1_STRING_get0_data(der);
  Owned<CMS_ContentInfo> token(
      d2i_CMS_ContentInfo(nullptr, &p, ASN1_STRING_length(der)));
  Owned<BIO> content(BIO_new(BIO_s_mem()));
  if (!token || !content) return "it is malformed";
  if (CMS_verify(token.get(), certs, nullptr, nullptr, content.get(),
                 CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1) {
    return "its signature does not match its content";
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(content.get(), &data);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(data);
  Owned<TS_TST_INFO> stamped(d2i_TS_TST_INFO(nullptr, &q, length));
  if (!stamped) return "it is malformed";
  TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(stamped.get());
  const Digest digest =
      DigestOf(EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm),
               info->enc_digest);
  if (!Equal(digest, TS_MSG_IMPRINT_get_msg(imprint))) {
    return "it stamps another signature";
  }
  return {};
}

// Checks an Authenticode countersignature (`der`, a SignerInfo) of the
// signature `info` in `p7`: its messageDigest is the digest of the
// signature's value, and its signature over its attributes verifies with
// its certificate from `p7`. Empty when intact, else what is wrong.
std::string CheckCountersignature(const ASN1_STRING* der,
                                  PKCS7_SIGNER_INFO* info, PKCS7* p7) {
  const unsigned char* p = ASN1_STRING_get0_data(der);
  Owned<PKCS7_SIGNER_INFO> counter(
      d2i_PKCS7_SIGNER_INFO(nullptr, &p, ASN1_STRING_length(der)));
  if (!counter || counter->issuer_and_serial == nullptr) {
    return "it is malformed";
  }
  X509* tsa = X509_find_by_issuer_and_serial(
      p7->d.sign->cert, counter->issuer_and_serial->issuer,
      counter->issuer_and_serial->serial);
  if (tsa == nullptr) return "its certificate is missing";
  // PKCS7_signatureVerify takes the digest from a digesting BIO that has
  // read the countersigned bytes: the signature's value.
  const EVP_MD* md = EVP_get_digestbyobj(counter->digest_alg->algorithm);
  Owned<BIO> digesting(BIO_new(BIO_f_md()));
  BIO* source = BIO_new_mem_buf(ASN1_STRING_get0_data(info->enc_digest),
                                ASN1_STRING_length(info->enc_digest));
  if (md == nullptr || !digesting || source == nullptr ||
      BIO_set_md(digesting.get(), md) != 1) {
    BIO_free(source);
    return "its digest algorithm is unknown";
  }
  BIO_push(digesting.get(), source);  // freed with `digesting`
  char sink[256];
  while (BIO_read(digesting.get(), sink, sizeof sink) > 0) {
  }
  const bool intact =
      PKCS7_signatureVerify(digesting.get(), p7, counter.get(), tsa) == 1;
  BIO_free_all(digesting.release());
  return intact ? std::string() : "its signature does not match";
}

// The timestamps in `info`'s unsigned attributes, each checked; the first
// that fails, else an empty text.
std::string CheckTimestamps(PKCS7* p7, PKCS7_SIGNER_INFO* info) {
  Owned<ASN1_OBJECT> rfc3161(OBJ_txt2obj(kRfc3161TimestampOid, 1));
  const struct {
    const ASN1_OBJECT* type;
    bool token;  // RFC 3161, else a countersignature
  } kinds[] = {{rfc3161.get(), true},
               {OBJ_nid2obj(NID_pkcs9_countersignature), false}};
  for (const auto& kind : kinds) {
    const int at =
        kind.type && info->unauth_attr
            ? X509at_get_attr_by_OBJ(info->unauth_attr, kind.type, -1)
            : -1;
    if (at < 0) continue;
    X509_ATTRIBUTE* attribute = X509at_get_attr(info->unauth_attr, at);
    for (int i = 0; i < X509_ATTRIBUTE_count(attribute); ++i) {
      const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, i);
      const std::string problem =
          !value || value->type != V_ASN1_SEQUENCE ? "it is malformed"
          : kind.token
              ? CheckRfc3161Token(value->value.sequence, info, p7->d.sign->cert)
              : CheckCountersignature(value->value.sequence, info, p7);
      if (!problem.empty()) return "the timestamp is broken: " + problem;
    }
  }
  return {};
}

// The signatures nested in `info`'s unsigned attributes, each checked as
// the first one; the first that fails, else an intact result.
AuthenticodeCheck CheckNested(sfx::File& file,
                              const sfx::PeSigningFields& fields,
                              PKCS7_SIGNER_INFO* info, int depth,
                              const std::string& signer) {
  Owned<ASN1_OBJECT> type(OBJ_txt2obj(kNestedSignatureOid, 1));
  const STACK_OF(X509_ATTRIBUTE)* attributes = info->unauth_attr;
  const int at = type && attributes
                     ? X509at_get_attr_by_OBJ(attributes, type.get(), -1)
                     : -1;
  if (at >= 0) {
    if (depth >= kMaxNesting) {
      return Broken("the signatures nest too deep", signer);
    }
    X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, at);
    for (int i = 0; i < X509_ATTRIBUTE_count(attribute); ++i) {
      const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, i);
      if (!value || value->type != V_ASN1_SEQUENCE) {
        return Broken("a nested signature is malformed", signer);
      }
      const unsigned char* p = value->value.sequence->data;
      Owned<PKCS7> nested(
          d2i_PKCS7(nullptr, &p, value->value.sequence->length));
      if (!nested) return Broken("a nested signature is malformed", signer);
      AuthenticodeCheck check =
          CheckSignedData(file, fields, nested.get(), depth + 1);
      if (check.state != AuthenticodeCheck::kIntact) {
        check.problem = "a nested signature: " + check.problem;
        return check;
      }
    }
  }
  AuthenticodeCheck check;
  check.state = AuthenticodeCheck::kIntact;
  check.signer = signer;
  return check;
}

// The checks of a parsed signature, in the order a damage would show first.
AuthenticodeCheck CheckSignedData(sfx::File& file,
                                  const sfx::PeSigningFields& fields, PKCS7* p7,
                                  int depth) {
  IndirectData indirect;
  if (!PKCS7_type_is_signed(p7) || p7->d.sign == nullptr ||
      !ReadIndirectData(p7, &indirect)) {
    return Broken("the certificate table holds no Authenticode signature", "");
  }
  STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7);
  Owned<STACK_OF(X509)> signers(PKCS7_get0_signers(p7, nullptr, 0));
  if (infos == nullptr || sk_PKCS7_SIGNER_INFO_num(infos) != 1 ||
      signers == nullptr || sk_X509_num(signers.get()) != 1) {
    return Broken("the signer's certificate is missing", "");
  }
  const std::string signer =
      SubjectText(X509_get_subject_name(sk_X509_value(signers.get(), 0)));

  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* signed_file_digest = nullptr;
  X509_SIG_get0(indirect.file_digest.get(), &algorithm, &signed_file_digest);
  const ASN1_OBJECT* algorithm_oid = nullptr;
  X509_ALGOR_get0(&algorithm_oid, nullptr, nullptr, algorithm);
  const EVP_MD* file_md = EVP_get_digestbyobj(algorithm_oid);
  if (file_md == nullptr) {
    return Broken("the file digest's algorithm is unknown", signer);
  }
  const Digest file_digest = FileDigest(file, fields, file_md);
  if (file_digest.empty()) return Broken("the file cannot be read", signer);
  if (!Equal(file_digest, signed_file_digest)) {
    return Broken("the file's digest does not match the signed one", signer);
  }

  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
  const EVP_MD* md = EVP_get_digestbyobj(info->digest_alg->algorithm);
  Digest content_digest(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  if (md == nullptr ||
      EVP_Digest(indirect.contents, static_cast<std::size_t>(indirect.length),
                 content_digest.data(), &n, md, nullptr) != 1) {
    return Broken("the signature's digest algorithm is unknown", signer);
  }
  content_digest.resize(n);
  if (!Equal(content_digest, PKCS7_digest_from_attributes(info->auth_attr))) {
    return Broken("the signed attributes do not match the signed content",
                  signer);
  }

  // The content again, so that OpenSSL checks the signature over the DER
  // of the signed attributes with the certificate's key; no chain is built.
  Owned<BIO> content(
      BIO_new_mem_buf(indirect.contents, static_cast<int>(indirect.length)));
  if (content == nullptr || PKCS7_verify(p7, nullptr, nullptr, content.get(),
                                         nullptr, PKCS7_NOVERIFY) != 1) {
    return Broken("the signature does not match the signed attributes", signer);
  }
  const std::string timestamp = CheckTimestamps(p7, info);
  if (!timestamp.empty()) return Broken(timestamp, signer);
  return CheckNested(file, fields, info, depth, signer);
}

AuthenticodeCheck CheckFile(sfx::File& file) {
  sfx::PeSigningFields fields;
  std::int64_t size = 0;
  if (!sfx::ReadPeSigningFields(file, &fields) || fields.table_size == 0) {
    return AuthenticodeCheck();
  }
  if (!file.Size(&size)) return Broken("the file cannot be read", "");
  const std::int64_t table = fields.table_offset;
  if (table < fields.security_entry + 8 || table > size ||
      size - table != fields.table_size) {
    return Broken("the certificate table does not end the file", "");
  }
  if (fields.table_size > kMaxTable) {
    return Broken("the certificate table is too large", "");
  }
  std::vector<std::uint8_t> bytes(fields.table_size);
  if (!file.Seek(table, sfx::File::Origin::kBegin) ||
      !sfx::ReadExact(file, bytes.data(), fields.table_size)) {
    return Broken("the file cannot be read", "");
  }
  const std::uint32_t length =
      bytes.size() < kCertificateHeader ? 0 : sfx::LoadUint32(bytes.data());
  // One certificate, padded to eight bytes: nothing else may hide there.
  if (length <= kCertificateHeader || length > bytes.size() ||
      bytes.size() - length >= 8 ||
      sfx::LoadUint16(bytes.data() + 4) != kCertificateRevision ||
      sfx::LoadUint16(bytes.data() + 6) != kPkcsSignedData) {
    return Broken("the certificate table is malformed", "");
  }
  const unsigned char* p = bytes.data() + kCertificateHeader;
  Owned<PKCS7> p7(d2i_PKCS7(nullptr, &p, length - kCertificateHeader));
  if (p7 == nullptr) return Broken("the certificate table is malformed", "");
  return CheckSignedData(file, fields, p7.get(), 0);
}

// The certificates of a PEM file, or its one DER certificate.
std::vector<Owned<X509>> ReadCertificates(const std::vector<std::uint8_t>& b) {
  std::vector<Owned<X509>> out;
  Owned<BIO> bio(BIO_new_mem_buf(b.data(), static_cast<int>(b.size())));
  while (X509* x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    out.emplace_back(x);
  }
  if (out.empty()) {
    const unsigned char* p = b.data();
    if (X509* x = d2i_X509(nullptr, &p, static_cast<long>(b.size()))) {
      out.emplace_back(x);
    }
  }
  return out;
}

// The PKCS#12 file in `b`, or null when it is none.
Owned<PKCS12> ReadPkcs12(const std::vector<std::uint8_t>& b) {
  const unsigned char* p = b.data();
  return Owned<PKCS12>(d2i_PKCS12(nullptr, &p, static_cast<long>(b.size())));
}

bool IsPkcs12(const std::vector<std::uint8_t>& b) {
  return ReadPkcs12(b) != nullptr;
}

// A PEM password callback that asks nobody and notes that it was asked.
int NoPassword(char*, int, int, void* asked) {
  *static_cast<bool*>(asked) = true;
  return -1;
}

// The key of a PEM or DER file; `*encrypted` tells a key that needs a
// password from one that is no key.
Owned<EVP_PKEY> ReadKey(const std::vector<std::uint8_t>& b, bool* encrypted) {
  *encrypted = false;
  Owned<BIO> bio(BIO_new_mem_buf(b.data(), static_cast<int>(b.size())));
  Owned<EVP_PKEY> key(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassword, encrypted));
  if (key || *encrypted) return key;
  const unsigned char* p = b.data();
  key.reset(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(b.size())));
  if (!key) {
    p = b.data();
    *encrypted = Owned<X509_SIG>(d2i_X509_SIG(
                     nullptr, &p, static_cast<long>(b.size()))) != nullptr;
  }
  return key;
}

// The key of an encrypted PEM file, opened with `password`.
Owned<EVP_PKEY> OpenKey(const std::vector<std::uint8_t>& b,
                        const std::string& password) {
  Owned<BIO> bio(BIO_new_mem_buf(b.data(), static_cast<int>(b.size())));
  return Owned<EVP_PKEY>(PEM_read_bio_PrivateKey(
      bio.get(), nullptr, nullptr, const_cast<char*>(password.c_str())));
}

std::string DateText(const ASN1_TIME* time) {
  struct tm tm = {};
  char text[32] = "?";
  if (ASN1_TIME_to_tm(time, &tm) == 1) {
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
  }
  return text;
}

// Whether `signer`, the certificate from `file`, is valid today: Windows
// rejects a signature made outside the certificate's validity, whatever
// timestamp it carries.
bool ValidToday(const X509* signer, const std::string& file,
                std::string* problem) {
  const std::string subject = SubjectText(X509_get_subject_name(signer));
  if (X509_cmp_current_time(X509_get0_notAfter(signer)) < 0) {
    *problem = "the certificate " + subject + " in " + file + " expired on " +
               DateText(X509_get0_notAfter(signer));
    return false;
  }
  if (X509_cmp_current_time(X509_get0_notBefore(signer)) > 0) {
    *problem = "the certificate " + subject + " in " + file +
               " is valid only from " + DateText(X509_get0_notBefore(signer));
    return false;
  }
  return true;
}

// CheckSigningKey for a PKCS#12 file that holds both.
bool CheckPkcs12(const std::string& file, bool can_ask,
                 const std::string* password, std::string* problem) {
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(file, &bytes)) {
    *problem = "cannot read the certificate " + file;
    return false;
  }
  const Owned<PKCS12> p12 = ReadPkcs12(bytes);
  if (!p12) {
    *problem = file +
               " is no PKCS#12 file (.pfx, .p12); give the private key of "
               "its certificate with --key";
    return false;
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  // Without a password given, the empty one, as osslsigncode tries.
  const bool opened = PKCS12_parse(p12.get(), password ? password->c_str() : "",
                                   &key, &cert, nullptr) == 1;
  Owned<EVP_PKEY> owned_key(key);
  Owned<X509> owned_cert(cert);
  ERR_clear_error();
  if (!opened && password) {
    *problem = "the password given does not open " + file;
    return false;
  }
  if (!opened) {
    if (can_ask) return true;  // osslsigncode -askpass
    *problem = file +
               " is encrypted and there is no terminal to ask for its "
               "password; give it with --key-password-file";
    return false;
  }
  if (!key || !cert) {
    *problem = file + " holds no " + (key ? "certificate" : "private key");
    return false;
  }
  return ValidToday(cert, file, problem);
}

}  // namespace

bool Pkcs12NeedsPassword(const std::string& file) {
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(file, &bytes)) return false;
  const Owned<PKCS12> p12 = ReadPkcs12(bytes);
  const bool needs = p12 && PKCS12_verify_mac(p12.get(), "", 0) != 1 &&
                     PKCS12_verify_mac(p12.get(), nullptr, 0) != 1;
  ERR_clear_error();
  return needs;
}

bool CheckSigningKey(const std::string& certificate, const std::string& key,
                     bool can_ask, const std::string* password,
                     std::string* problem) {
  if (key.empty()) return CheckPkcs12(certificate, can_ask, password, problem);
  auto pkcs12 = [](const std::string& file) {
    return file +
           " is a PKCS#12 file, which holds the key too: give it to --sign "
           "without --key";
  };
  std::vector<std::uint8_t> cert_bytes;
  std::vector<std::uint8_t> key_bytes;
  if (!ReadWholeFile(certificate, &cert_bytes)) {
    *problem = "cannot read the certificate " + certificate;
    return false;
  }
  if (!ReadWholeFile(key, &key_bytes)) {
    *problem = "cannot read the key " + key;
    return false;
  }
  const std::vector<Owned<X509>> certs = ReadCertificates(cert_bytes);
  bool encrypted = false;
  Owned<EVP_PKEY> pkey = ReadKey(key_bytes, &encrypted);
  const bool pem = key_bytes.size() > 10 &&
                   std::memcmp(key_bytes.data(), "-----BEGIN", 10) == 0;
  if (encrypted && password && pem) pkey = OpenKey(key_bytes, *password);
  ERR_clear_error();
  if (certs.empty()) {
    *problem = IsPkcs12(cert_bytes)
                   ? pkcs12(certificate)
                   : certificate + " holds no certificate (PEM or DER)";
    return false;
  }
  if (encrypted && !pem) {
    *problem = "the key " + key +
               " is encrypted DER, which osslsigncode cannot read; give it "
               "as PEM (openssl pkey -inform DER -in " +
               key + " -aes256 -out key.pem)";
    return false;
  }
  if (encrypted && password && !pkey) {
    *problem = "the password given does not open the key " + key;
    return false;
  }
  if (encrypted && !password) {
    if (can_ask) return true;
    *problem = "the key " + key +
               " is encrypted and there is no terminal to ask for its "
               "password; give it with --key-password-file, or give a "
               "decrypted copy (openssl pkey -in " +
               key + " -out plain.pem)";
    return false;
  }
  if (!pkey) {
    *problem = IsPkcs12(key_bytes) ? pkcs12(key)
                                   : key + " holds no private key (PEM or DER)";
    return false;
  }
  const X509* signer = nullptr;
  for (const Owned<X509>& cert : certs) {
    if (X509_check_private_key(cert.get(), pkey.get()) == 1) {
      signer = cert.get();
      break;
    }
  }
  ERR_clear_error();
  if (signer == nullptr) {
    *problem = "the key " + key + " belongs to no certificate in " +
               certificate + " (" +
               SubjectText(X509_get_subject_name(certs[0].get())) + ")";
    return false;
  }
  return ValidToday(signer, certificate, problem);
}

AuthenticodeCheck CheckAuthenticode(const std::string& path) {
  std::unique_ptr<sfx::File> file = sfx::Os().OpenRead(path);
  if (file == nullptr) return Broken("the file cannot be read", "");
  AuthenticodeCheck check = CheckFile(*file);
  // Failures leave their reasons in OpenSSL's queue; nothing reads them.
  ERR_clear_error();
  return check;
}

}  // namespace sfxtool
