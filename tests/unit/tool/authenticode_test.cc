// CheckAuthenticode over a program signed at test time by osslsigncode
// with a throw-away self-signed certificate, and over copies with one byte
// changed in each part that the signature covers or leaves out.
#include "authenticode.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "host_files.h"

namespace sfxtool {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kOptional = 0x40 + 24;
constexpr std::size_t kChecksumField = kOptional + 64;
constexpr std::size_t kSecurityEntry = kOptional + 96 + 8 * 4;
constexpr std::size_t kNoChange = 0;

// The PE32 headers that signing needs, and 300,000 bytes behind them as an
// installer's package follows its program, so that the digest takes many
// reads.
Bytes Program() {
  Bytes image(0x200 + 300000, 0);
  for (std::size_t i = 0x200; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>(i * 7);
  }
  image[0] = 'M';
  image[1] = 'Z';
  sfx::StoreUint32(&image[0x3C], 0x40);
  image[0x40] = 'P';
  image[0x41] = 'E';
  sfx::StoreUint16(&image[0x40 + 20], 224);  // optional header size
  sfx::StoreUint16(&image[kOptional], 0x10B);
  sfx::StoreUint32(&image[kOptional + 92], 16);  // data directories
  return image;
}

int Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

void Write(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fclose(file), 0);
}

TEST(AuthenticodeTest, TellsIntactFromBrokenSignatures) {
  if (Shell("command -v openssl") != 0 ||
      Shell("command -v osslsigncode") != 0 ||
      Shell("command -v python3") != 0) {
    GTEST_SKIP() << "needs openssl, osslsigncode and python3";
  }
  char folder[] = "/tmp/authenticode_test.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  const Bytes program = Program();
  Write(dir + "/unsigned.exe", program);
  ASSERT_EQ(
      Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout " + dir +
            "/key.pem -out " + dir + "/cert.pem -subj /CN=Test\\ Vendor"),
      0);
  ASSERT_EQ(Shell("osslsigncode sign -certs " + dir + "/cert.pem -key " + dir +
                  "/key.pem -n Test -in " + dir + "/unsigned.exe -out " + dir +
                  "/signed.exe"),
            0);
  ASSERT_EQ(Shell("osslsigncode sign -nest -h sha1 -certs " + dir +
                  "/cert.pem -key " + dir + "/key.pem -n Test -in " + dir +
                  "/signed.exe -out " + dir + "/nested.exe"),
            0);
  // Timestamped by osslsigncode's own RFC 3161 authority.
  ASSERT_EQ(Shell("cd " + dir +
                  " && printf '[r]\\ndistinguished_name=n\\n[n]\\n[x]\\n"
                  "extendedKeyUsage=critical,timeStamping\\n' >tsa.cnf && "
                  "openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
                  "-keyout tsa_key.pem -out tsa.pem -subj /CN=Test\\ TSA "
                  "-config tsa.cnf -extensions x && "
                  "osslsigncode sign -certs cert.pem -key key.pem "
                  "-TSA-certs tsa.pem -TSA-key tsa_key.pem -in unsigned.exe "
                  "-out stamped.exe"),
            0);
  // And by an authority of the older kind (a countersignature), as
  // `sfxtool build --timestamp` asks for.
  ASSERT_EQ(Shell("cd " + dir +
                  " && (python3 " SFX_LEGACY_TSA
                  " tsa.pem tsa_key.pem port & echo $! >pid) && "
                  "for i in $(seq 100); do [ -s port ] && break; sleep 0.1; "
                  "done; osslsigncode sign -certs cert.pem -key key.pem "
                  "-t http://127.0.0.1:$(cat port) -in unsigned.exe "
                  "-out countersigned.exe >/dev/null; r=$?; kill $(cat pid); "
                  "exit $r"),
            0);
  Bytes signed_file;
  Bytes nested;
  Bytes stamped;
  Bytes countersigned;
  ASSERT_TRUE(ReadWholeFile(dir + "/signed.exe", &signed_file));
  ASSERT_TRUE(ReadWholeFile(dir + "/nested.exe", &nested));
  ASSERT_TRUE(ReadWholeFile(dir + "/stamped.exe", &stamped));
  ASSERT_TRUE(ReadWholeFile(dir + "/countersigned.exe", &countersigned));
  // The table: WIN_CERTIFICATE's 8 bytes, then the SignedData, whose DER
  // header (30 82 hi lo) gives its end; the signature value ends it.
  const std::size_t table = sfx::LoadUint32(&signed_file.at(kSecurityEntry));
  const std::size_t signed_data_end =
      table + 8 + 4 +
      (signed_file.at(table + 10) << 8 | signed_file.at(table + 11));
  // The messageDigest attribute's OID, then its SET and OCTET STRING headers.
  const Bytes oid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                     0xF7, 0x0D, 0x01, 0x09, 0x04};
  const std::size_t message_digest =
      std::search(signed_file.begin() + table, signed_file.end(), oid.begin(),
                  oid.end()) -
      signed_file.begin() + oid.size() + 4;
  ASSERT_LT(message_digest, signed_data_end);
  // The nested signature's value ends the outer SignerInfo's unsigned
  // attributes, and so the certificate.
  const std::size_t nested_table = sfx::LoadUint32(&nested.at(kSecurityEntry));
  const std::size_t nested_end =
      nested_table + sfx::LoadUint32(&nested.at(nested_table));
  // The token ends the unsigned attributes, and so the certificate; the
  // authority's signature value ends the token.
  const std::size_t stamped_table =
      sfx::LoadUint32(&stamped.at(kSecurityEntry));
  const std::size_t stamped_end =
      stamped_table + sfx::LoadUint32(&stamped.at(stamped_table));
  const std::size_t countersigned_table =
      sfx::LoadUint32(&countersigned.at(kSecurityEntry));
  const std::size_t countersigned_end =
      countersigned_table +
      sfx::LoadUint32(&countersigned.at(countersigned_table));
  // 32 bytes more in the table than its certificate, the size field grown.
  Bytes padded = signed_file;
  padded.resize(padded.size() + 32);
  sfx::StoreUint32(&padded.at(kSecurityEntry + 4),
                   sfx::LoadUint32(&padded.at(kSecurityEntry + 4)) + 32);

  const std::string vendor = "/CN=Test Vendor";
  const std::string digest = "the file's digest does not match the signed one";
  const struct {
    const char* what;
    const Bytes* file;
    std::size_t changed;  // the byte flipped, or kNoChange
    AuthenticodeCheck::State state;
    std::string signer;
    std::string problem;
  } cases[] = {
      {"unsigned", &program, kNoChange, AuthenticodeCheck::kUnsigned, "", ""},
      {"signed", &signed_file, kNoChange, AuthenticodeCheck::kIntact, vendor,
       ""},
      {"CheckSum, rewritten by signing", &signed_file, kChecksumField + 1,
       AuthenticodeCheck::kIntact, vendor, ""},
      {"DOS header", &signed_file, 0x20, AuthenticodeCheck::kBroken, vendor,
       digest},
      {"header between CheckSum and the security entry", &signed_file,
       kChecksumField + 4, AuthenticodeCheck::kBroken, vendor, digest},
      {"appended data before the table", &signed_file, table - 100,
       AuthenticodeCheck::kBroken, vendor, digest},
      {"messageDigest", &signed_file, message_digest,
       AuthenticodeCheck::kBroken, vendor,
       "the signed attributes do not match the signed content"},
      {"signature value", &signed_file, signed_data_end - 1,
       AuthenticodeCheck::kBroken, vendor,
       "the signature does not match the signed attributes"},
      {"wRevision", &signed_file, table + 5, AuthenticodeCheck::kBroken, "",
       "the certificate table is malformed"},
      {"bytes after the certificate", &padded, kNoChange,
       AuthenticodeCheck::kBroken, "", "the certificate table is malformed"},
      {"nested", &nested, kNoChange, AuthenticodeCheck::kIntact, vendor, ""},
      {"timestamped", &stamped, kNoChange, AuthenticodeCheck::kIntact, vendor,
       ""},
      {"timestamp's signature value", &stamped, stamped_end - 20,
       AuthenticodeCheck::kBroken, vendor,
       "the timestamp is broken: its signature does not match its content"},
      {"countersigned", &countersigned, kNoChange, AuthenticodeCheck::kIntact,
       vendor, ""},
      {"countersignature's value", &countersigned, countersigned_end - 20,
       AuthenticodeCheck::kBroken, vendor,
       "the timestamp is broken: its signature does not match"},
      {"nested signature value", &nested, nested_end - 20,
       AuthenticodeCheck::kBroken, vendor,
       "a nested signature: the signature does not match the signed "
       "attributes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = *c.file;
    if (c.changed != kNoChange) bytes.at(c.changed) ^= 0x01;
    Write(dir + "/case.exe", bytes);
    const AuthenticodeCheck check = CheckAuthenticode(dir + "/case.exe");
    EXPECT_EQ(check.state, c.state);
    EXPECT_EQ(check.signer, c.signer);
    EXPECT_EQ(check.problem, c.problem);
  }
  Shell("rm -rf " + dir);
}

// The certificate and key files that vendors bring, each with what
// CheckSigningKey says of it before osslsigncode runs.
TEST(AuthenticodeTest, ChecksSigningInputsFirst) {
  if (Shell("command -v openssl") != 0) GTEST_SKIP() << "needs openssl";
  char folder[] = "/tmp/signing_key_test.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string d = std::string(folder) + "/";
  const std::string ca = "openssl ca -batch -notext -config " + d +
                         "ca.cnf -cert " + d + "cert.pem -keyfile " + d +
                         "key.pem -in " + d + "req.csr ";
  const std::string conf =
      "[ca]\ndefault_ca=x\n[x]\ndatabase=" + d + "index\nserial=" + d +
      "serial\nnew_certs_dir=" + d +
      "\ndefault_md=sha256\nunique_subject=no\npolicy=p\n[p]\n" +
      "commonName=supplied\n";
  Write(d + "ca.cnf", Bytes(conf.begin(), conf.end()));
  ASSERT_EQ(
      Shell("cd " + d + " && touch index && echo 01 >serial && " +
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
            "-keyout key.pem -out cert.pem -subj /CN=Vendor && "
            "openssl req -newkey rsa:2048 -nodes -keyout other.pem "
            "-out req.csr -subj /CN=Other && "
            "openssl pkcs8 -topk8 -in key.pem -out locked.pem "
            "-passout pass:x && "
            "openssl pkcs8 -topk8 -in key.pem -outform DER -out locked.der "
            "-passout pass:x && "
            "openssl pkcs12 -export -in cert.pem -inkey key.pem "
            "-out both.p12 -passout pass:x && "
            "openssl x509 -in cert.pem -outform DER -out cert.der && " +
            ca + "-out old.pem -startdate 20200101000000Z " +
            "-enddate 20210101000000Z && " + ca +
            "-out new.pem -startdate 20400101000000Z " +
            "-enddate 20410101000000Z && (cat old.pem cert.pem >chain.pem) && "
            "openssl pkcs12 -export -in old.pem -inkey other.pem "
            "-out old.p12 -passout pass:x"),
      0);
  const struct {
    const char* certificate;
    const char* key;
    bool can_ask;
    const char* password;  // nullptr: none given
    std::string problem;   // empty: may sign
  } cases[] = {
      {"cert.pem", "key.pem", false, nullptr, ""},
      {"cert.der", "key.pem", false, nullptr, ""},
      {"chain.pem", "key.pem", false, nullptr, ""},
      {"locked.pem", "key.pem", false, nullptr,
       "locked.pem holds no certificate"},
      {"cert.pem", "locked.pem", true, nullptr, ""},
      {"cert.pem", "locked.pem", false, nullptr, "locked.pem is encrypted"},
      {"cert.pem", "locked.pem", false, "x", ""},
      {"cert.pem", "locked.pem", true, "y", "does not open the key"},
      {"old.pem", "locked.pem", false, "x", "belongs to no certificate"},
      {"cert.pem", "key.pem", false, "x", ""},
      {"cert.pem", "locked.der", true, "x", "is encrypted DER"},
      {"both.p12", "both.p12", false, nullptr, "both.p12 is a PKCS#12 file"},
      {"cert.pem", "both.p12", false, nullptr, "both.p12 is a PKCS#12 file"},
      {"cert.pem", "other.pem", false, nullptr, "belongs to no certificate"},
      {"old.pem", "other.pem", false, nullptr, "expired on 2021-01-01"},
      {"new.pem", "other.pem", false, nullptr, "is valid only from 2040-01-01"},
      {"cert.pem", "missing.pem", false, nullptr, "cannot read the key"},
      // A PKCS#12 file alone (no key file).
      {"both.p12", "", false, "x", ""},
      {"both.p12", "", true, nullptr, ""},
      {"both.p12", "", false, nullptr, "both.p12 is encrypted"},
      {"both.p12", "", false, "y", "does not open"},
      {"old.p12", "", false, "x", "expired on 2021-01-01"},
      {"cert.pem", "", false, nullptr, "cert.pem is no PKCS#12 file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.certificate) + " " + c.key);
    std::string problem;
    const std::string password = c.password ? c.password : "";
    const std::string key = *c.key ? d + c.key : "";
    EXPECT_EQ(CheckSigningKey(d + c.certificate, key, c.can_ask,
                              c.password ? &password : nullptr, &problem),
              c.problem.empty())
        << problem;
    if (!c.problem.empty()) {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
  Shell("rm -rf " + d);
}

}  // namespace
}  // namespace sfxtool
