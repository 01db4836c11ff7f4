// The header stream: reader and writer of every version, the defaults, the
// CR splits, and damaged streams that must be reported, not followed.
#include "package/record.h"

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "package/record_writer.h"
#include "paths/macros.h"
#include "unit/package/test_platform.h"

namespace sfx {
namespace {

const int kVersions[] = {kFormat12, kFormat21, kFormat22, kFormat23, kFormat24};

// A record that uses every field the version can carry.
TInstalRecord FullRecord(int version) {
  TInstalRecord r;
  for (int i = 0; i < 3; ++i) {
    auto f = std::make_unique<TInstallFileRecord>();
    f->FileName = "file" + std::to_string(i) + ".exe";
    f->ShortcutName = i == 0 ? "Run %PROGNAME%" : "";
    f->Parameters = i == 1 ? "/quiet" : "";
    f->TargetDir = i == 2 ? "%SYSTEM%" : "Bin";
    if (version >= kFormat22) f->AddToLog = i == 1 ? 0 : 1;
    if (version >= kFormat24) f->DesktopIcon = i == 0;
    r.Files.push_back(std::move(f));
  }
  r.PackageText1 = "Package";
  r.PackageText2 = "Text";
  r.ProductName = "Product \xE9";
  r.ProductText2 = "";
  r.ProductText3 = "three";
  r.MenuFolderName = "Menu";
  r.BrowsePrompt = "Pick";
  r.RegistryKey = "Software\\Maker\\Product";
  r.LaunchProgram = "run.exe";
  r.InstallDir = "C:\\Product";
  r.WelcomeLines = {"Hello", "", std::string(255, 'w')};
  r.ExtraProgEntries = {"extra.dll"};
  r.FinishLines = {"Done"};
  r.Directories = {"Data", "%COMMONAPPDATA%Product"};
  r.SpaceRequired = 123456;
  if (version >= kFormat21) {
    for (int stage = 0; stage < 4; ++stage) {
      auto p = std::make_unique<TPreRunFileRecord>();
      p->FileName = "pre" + std::to_string(stage) + ".exe";
      p->Parameters = "-x";
      p->Directory = stage % 2 ? "%TEMP%" : "";
      p->ExtractFirst = stage == 0;
      p->DeleteAfter = stage == 1;
      p->RunStage = stage;
      r.PreRunFiles.push_back(std::move(p));
    }
  }
  if (version >= kFormat23) {
    r.Icon = {0, 0, 1, 0, 1, 0, 0x20, 0x20};
    r.InfoText1 = "i1";
    r.InfoText2 = "";
    r.InfoText3 = "i3";
  }
  if (version >= kFormat24) {
    r.Flag1 = 0;
    r.Flag2 = 1;
    r.Flag3 = 0;
  }
  return r;
}

// Little builders for hand-made streams.
void Put32(std::vector<std::uint8_t>* s, std::int32_t v) {
  ByteWriter(s).Uint32(static_cast<std::uint32_t>(v));
}
void PutShort(std::vector<std::uint8_t>* s, const std::string& t) {
  s->push_back(static_cast<std::uint8_t>(t.size()));
  s->insert(s->end(), t.begin(), t.end());
}
// A version-2 header without files, with the texts A and B given.
std::vector<std::uint8_t> Base12(const std::string& text_a,
                                 const std::string& text_b) {
  std::vector<std::uint8_t> s;
  PutShort(&s, "Installer 1.2");
  Put32(&s, 0);
  for (int i = 0; i < 4; ++i) Put32(&s, 0);
  PutShort(&s, text_a);
  PutShort(&s, text_b);
  for (int i = 0; i < 5; ++i) PutShort(&s, "");
  Put32(&s, 0);
  return s;
}

TEST(RecordTest, RoundTripForEveryVersion) {
  for (int version : kVersions) {
    const TInstalRecord original = FullRecord(version);
    const auto stream = WriteRecord(original, version);
    TInstalRecord read;
    ASSERT_EQ(ParseRecord(read, stream.data(), stream.size()), ReadResult::kOk)
        << version;
    EXPECT_EQ(read.FormatVersion, version);
    // Every field came back: written again, the record gives the same
    // stream (whose size ShortestHeaders pins per version).
    EXPECT_EQ(WriteRecord(read, version), stream) << version;
  }
}

TEST(RecordTest, ShortestHeaders) {
  const std::size_t sizes[] = {45, 49, 49, 56, 59};
  for (int i = 0; i < 5; ++i) {
    TInstalRecord empty;
    if (kVersions[i] >= kFormat23)
      empty.InfoText1 = empty.InfoText2 = empty.InfoText3 = "";
    const auto stream = WriteRecord(empty, kVersions[i]);
    EXPECT_EQ(stream.size(), sizes[i]) << FormatSignature(kVersions[i]);
    TInstalRecord read;
    EXPECT_EQ(ParseRecord(read, stream.data(), stream.size()), ReadResult::kOk);
  }
  EXPECT_EQ(Base12("", "").size(), 45u);
}

TEST(RecordTest, SignaturesAreExact) {
  EXPECT_EQ(FormatVersionOf("Installer 2.4"), kFormat24);
  EXPECT_EQ(FormatSignature(kFormat12), "Installer 1.2");
  EXPECT_EQ(FormatSignature(1), "");
  EXPECT_EQ(FormatSignature(7), "");
  for (const char* signature :
       {"installer 2.4", "Installer 2.4 ", "Installer 2.0", "Installer 2.5", "",
        "INSTALLER 1.2"}) {
    std::vector<std::uint8_t> s = Base12("", "");
    s.erase(s.begin(), s.begin() + 14);
    std::vector<std::uint8_t> stream;
    PutShort(&stream, signature);
    stream.insert(stream.end(), s.begin(), s.end());
    TInstalRecord read;
    read.PreRunFiles.push_back(std::make_unique<TPreRunFileRecord>());
    EXPECT_EQ(ParseRecord(read, stream.data(), stream.size()),
              ReadResult::kUnknownSignature)
        << signature;
    EXPECT_EQ(read.FormatVersion, 0);
    EXPECT_EQ(read.PreRunFiles.size(), 1u);  // untouched
  }
}

TEST(RecordTest, HeaderTextsSplitAtCr) {
  struct Case {
    std::string a, b;
    std::string t1, t2, name, p2, p3, p4;
  };
  const Case cases[] = {
      {"", "Name", "", "", "Name", "", "", ""},
      {"x\ry\rz", "N\r\rC\rD", "x", "y", "N", "", "C", "D"},
      {"x\r", "N\rB\rC\rD\rE", "x", "", "N", "B", "C", "D"},
      {" a ", " n ", " a ", "", " n ", "", "", ""},
  };
  for (const Case& c : cases) {
    const auto stream = Base12(c.a, c.b);
    TInstalRecord r;
    ASSERT_EQ(ParseRecord(r, stream.data(), stream.size()), ReadResult::kOk);
    EXPECT_EQ(r.PackageText1, c.t1);
    EXPECT_EQ(r.PackageText2, c.t2);
    EXPECT_EQ(r.ProductName, c.name);
    EXPECT_EQ(r.ProductText2, c.p2);
    EXPECT_EQ(r.ProductText3, c.p3);
    EXPECT_EQ(r.ProductText4, c.p4);
  }
}

TEST(RecordTest, FixedSlotsIgnoreTheirPadding) {
  std::vector<std::uint8_t> s;
  PutShort(&s, "Installer 2.1");
  Put32(&s, 1);
  for (int slot = 0; slot < 4; ++slot) {
    s.push_back(5);
    for (int i = 0; i < 255; ++i)
      s.push_back(static_cast<std::uint8_t>('A' + (i % 26)));
  }
  for (int i = 0; i < 4; ++i) Put32(&s, -3);  // negative counts: no items
  for (int i = 0; i < 7; ++i) PutShort(&s, "");
  Put32(&s, 0);
  Put32(&s, 0);  // pre-run count
  TInstalRecord r;
  ASSERT_EQ(ParseRecord(r, s.data(), s.size()), ReadResult::kOk);
  ASSERT_EQ(r.Files.size(), 1u);
  EXPECT_EQ(r.Files[0]->FileName, "ABCDE");
  EXPECT_EQ(r.Files[0]->TargetDir, "ABCDE");
  // Version 3 carries neither AddToLog nor DesktopIcon: defaults stay.
  EXPECT_EQ(r.Files[0]->AddToLog, 1);
  EXPECT_EQ(r.Files[0]->DesktopIcon, 0);
  EXPECT_TRUE(r.WelcomeLines.empty());
}

TEST(RecordTest, OlderVersionsResetWhatTheyLack) {
  TInstalRecord r = FullRecord(kFormat24);
  const auto stream = Base12("", "P");
  ASSERT_EQ(ParseRecord(r, stream.data(), stream.size()), ReadResult::kOk);
  EXPECT_TRUE(r.Files.empty());
  EXPECT_TRUE(r.PreRunFiles.empty());
  EXPECT_TRUE(r.Icon.empty());
  EXPECT_TRUE(r.WelcomeLines.empty());
  // Below 2.3 and 2.4 these keep what they held (the defaults in a new record).
  TInstalRecord fresh;
  ASSERT_EQ(ParseRecord(fresh, stream.data(), stream.size()), ReadResult::kOk);
  EXPECT_EQ(fresh.InfoText1, " ");
  EXPECT_EQ(fresh.Flag3, 1);
}

TEST(RecordTest, IconSizeZeroLeavesTheIconEmpty) {
  TInstalRecord original = FullRecord(kFormat23);
  original.Icon.clear();
  const auto stream = WriteRecord(original, kFormat23);
  TInstalRecord r;
  ASSERT_EQ(ParseRecord(r, stream.data(), stream.size()), ReadResult::kOk);
  EXPECT_TRUE(r.Icon.empty());
  EXPECT_EQ(r.InfoText1, "i1");
}

TEST(RecordTest, EveryTruncationIsCorrupted) {
  for (int version : kVersions) {
    const auto stream = WriteRecord(FullRecord(version), version);
    for (std::size_t n = 0; n < stream.size(); ++n) {
      TInstalRecord r;
      const ReadResult result = ParseRecord(r, stream.data(), n);
      // Cut inside the signature: the text read is a different one.
      if (n > 0 && n < 14) {
        EXPECT_NE(result, ReadResult::kOk);
      } else {
        EXPECT_EQ(result, ReadResult::kCorrupted) << version << " cut at " << n;
      }
    }
  }
}

TEST(RecordTest, CountsThatCannotFitAreCorrupted) {
  // Offsets of the counts in a fileless 2.4 header: files at 14, the four
  // lists at 18..30, pre-run at 45, icon at 49.
  const std::size_t count_offsets[] = {14, 18, 22, 26, 30, 45, 49};
  const std::int32_t counts[] = {1, 0x7FFFFFFF, 1000000};
  TInstalRecord empty;
  empty.InfoText1 = empty.InfoText2 = empty.InfoText3 = "";
  const auto base = WriteRecord(empty, kFormat24);
  ASSERT_EQ(base.size(), 59u);
  for (std::size_t at : count_offsets) {
    for (std::int32_t count : counts) {
      auto stream = base;
      StoreUint32(&stream[at], static_cast<std::uint32_t>(count));
      TInstalRecord r;
      EXPECT_EQ(ParseRecord(r, stream.data(), stream.size()),
                ReadResult::kCorrupted)
          << "count " << count << " at " << at;
    }
  }
}

TEST(RecordWriterTest, RefusesWhatTheVersionCannotHold) {
  struct Case {
    const char* name;
    int version;
    void (*change)(TInstalRecord&);
  };
  const Case cases[] = {
      {"long text", kFormat24,
       [](TInstalRecord& r) { r.InstallDir = std::string(256, 'd'); }},
      {"long slot", kFormat24,
       [](TInstalRecord& r) { r.Files[0]->TargetDir = std::string(256, 't'); }},
      {"long list item", kFormat24,
       [](TInstalRecord& r) {
         r.FinishLines.push_back(std::string(300, 'f'));
       }},
      {"texts B too long together", kFormat24,
       [](TInstalRecord& r) {
         r.ProductName = std::string(200, 'n');
         r.ProductText4 = std::string(60, 'x');
       }},
      {"CR inside a split field", kFormat24,
       [](TInstalRecord& r) { r.ProductName = "a\rb"; }},
      {"pre-run in 1.2", kFormat12,
       [](TInstalRecord& r) {
         r.PreRunFiles.push_back(std::make_unique<TPreRunFileRecord>());
       }},
      {"AddToLog 0 in 2.1", kFormat21,
       [](TInstalRecord& r) { r.Files[0]->AddToLog = 0; }},
      {"icon in 2.2", kFormat22, [](TInstalRecord& r) { r.Icon = {1}; }},
      {"info text in 2.2", kFormat22,
       [](TInstalRecord& r) { r.InfoText2 = "x"; }},
      {"desktop icon in 2.3", kFormat23,
       [](TInstalRecord& r) { r.Files[0]->DesktopIcon = 1; }},
      {"flag in 2.3", kFormat23, [](TInstalRecord& r) { r.Flag2 = 0; }},
      {"unknown version", 7, [](TInstalRecord&) {}},
  };
  for (const Case& c : cases) {
    TInstalRecord r;
    r.Files.push_back(std::make_unique<TInstallFileRecord>());
    EXPECT_NO_THROW(WriteRecord(r, kFormat24));
    c.change(r);
    EXPECT_THROW(WriteRecord(r, c.version), RecordWriteError) << c.name;
  }
  TInstalRecord fits;
  fits.ProductName = std::string(255, 'n');
  EXPECT_NO_THROW(WriteRecord(fits, kFormat12));
}

}  // namespace
}  // namespace sfx
