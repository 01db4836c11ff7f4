// Nothing lost, every failure seen: the installation run over an older
// installation while the file system fails one call at a time (the n-th
// create, write, move or read, a full disk at byte k, a file held open, a
// damaged block). After each, every file that was there holds either its
// old bytes or, when its turn had passed, the new ones; a file that was not
// there is absent or whole; no temporary file is left; and the exit code is
// the one the table gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/file_entry.h"
#include "fake_platform.h"
#include "install/installation.h"
#include "install/package_reports.h"
#include "install/report.h"
#include "install_fixture.h"
#include "package/container.h"
#include "package_image.h"
#include "support/fault_platform.h"
#include "support/memory_file.h"

namespace sfx {
namespace {

using sfx_test::Fault;
using sfx_test::FaultInjectionPlatform;

constexpr char kExe[] = "C:\\Downloads\\setup.exe";
const char* const kTargets[] = {"C:\\Dest\\a.txt", "C:\\Dest\\Docs\\b.txt",
                                "C:\\Dest\\c.txt"};
const char* const kOld[] = {"old a", "old b", "old c"};
// Compressible, so that every entry is stored as LZH streams; b spans three
// blocks, which differ so that a block out of order would show.
const std::string kNew[] = {
    std::string(3000, 'a'),
    std::string(65000, 'b') + std::string(65000, 'B') + std::string(10, 'b'),
    std::string(500, 'c')};
// A file of two blocks that the older installation does not have: it is
// written in place.
constexpr char kAdded[] = "C:\\Dest\\Docs\\d.txt";
const std::string kAddedText = std::string(65000, 'd') + std::string(99, 'D');

// Where the package is damaged: block `block` of entry `entry` (-1: none).
struct Damage {
  int entry = -1;
  int block = 0;
};

struct Outcome {
  bool struck = false;
  ExitCode code = ExitCode::kInstalled;
  std::vector<std::string> messages;
  std::vector<std::string> calls;  // the platform's log of changes
  std::vector<std::string> texts;  // the targets' contents, then kAdded's

  bool operator==(const Outcome& o) const {
    return struck == o.struck && code == o.code && messages == o.messages &&
           calls == o.calls && texts == o.texts;
  }
};

// An older installation at C:\Dest and an installer for the new one, run
// with `processors` processors (more than one: with decode-ahead). c.txt
// goes to a macro directory, where an older file newer than the entry
// (`newer_c`) is kept.
class Installation {
 public:
  explicit Installation(int processors = 1, Damage damage = {},
                        bool newer_c = false) {
    InstallFixture::ResetState();
    platform_.processor_count = processors;
    fake::AddFileEntry(record_, "a.txt");
    fake::AddFileEntry(record_, "b.txt", "Docs");
    fake::AddFileEntry(record_, "c.txt", "%INSTALLDIR%");
    fake::AddFileEntry(record_, "d.txt", "Docs");
    const bool damaged = damage.entry >= 0;
    record_.ProductName = "Hello";
    record_.RegistryKey = "Software\\TIV\\Hello";
    std::vector<std::uint8_t> image = fake::BuildInstallerImage(
        record_, {kNew[0], kNew[1], kNew[2], kAddedText}, 1700000000, damaged);
    if (damaged) DamageBlock(&image, damage);
    platform_.AddFile(kExe, image);
    for (int i = 0; i < 3; ++i) {
      platform_.AddFile(kTargets[i], kOld[i], i == 2 && newer_c ? ~0u : 0);
    }
    ExePath = kExe;
    VerifyPackage(ExePath, damaged);
    DestBuffer = "C:\\Dest";
    TargetDrive = 'C';
    Unattended = true;
    QuietMode = true;
  }
  ~Installation() {
    QuietMode = false;
    InstallFixture::ResetState();
  }

  Outcome Run(FaultInjectionPlatform& faults) {
    SetPlatformForTesting(&faults);
    RunInstallation(record_, nullptr);
    SetPlatformForTesting(&platform_);
    Outcome outcome;
    outcome.struck = faults.struck();
    outcome.code = CurrentExitCode();
    outcome.messages = platform_.MessageTexts();
    outcome.calls = platform_.log;
    for (const char* target : kTargets) {
      outcome.texts.push_back(platform_.FileText(target));
    }
    outcome.texts.push_back(platform_.HasFile(kAdded) ? Text(3) : "absent");
    return outcome;
  }

  // Each target holds its old or its new bytes, the added file is absent
  // or whole, and no temporary file is left beside them.
  void ExpectNothingLost(const char* trace) const {
    EXPECT_TRUE(!platform_.HasFile(kAdded) || Text(3) == kAddedText)
        << trace << ": " << kAdded << " holds " << Text(3).size() << " bytes";
    EXPECT_FALSE(platform_.HasFile(std::string(kAdded) + ".sfxnew")) << trace;
    for (int i = 0; i < 3; ++i) {
      const std::string text = platform_.FileText(kTargets[i]);
      EXPECT_TRUE(text == kOld[i] || text == kNew[i])
          << trace << ": " << kTargets[i] << " holds " << text.size()
          << " bytes";
      EXPECT_FALSE(platform_.HasFile(std::string(kTargets[i]) + ".sfxnew"))
          << trace;
    }
  }

  // The contents of target `i`, or of the added file for 3.
  std::string Text(int i) const {
    return platform_.FileText(i < 3 ? kTargets[i] : kAdded);
  }

  fake::FakePlatform platform_;
  fake::FakePlatformScope scope_{&platform_};
  TInstalRecord record_;

 private:
  // Gives the stream of the block a length that no block can have, as a
  // damaged download would.
  void DamageBlock(std::vector<std::uint8_t>* image, Damage damage) {
    sfx_test::MemoryFile file(*image);
    PackageLayout layout;
    std::int64_t marker = static_cast<std::int64_t>(image->size()) - 20;
    ASSERT_EQ(ReadPackageLayout(file, marker, &layout, nullptr),
              PackageWalk::kOk);
    PackedFileEntry entry;
    for (int i = 0; i <= damage.entry; ++i) {
      ASSERT_TRUE(ReadPackedFileEntry(file, &entry));
      for (const TPackedBlock& block : entry.blocks) {
        file.Seek(block.BlockSize, File::Origin::kCurrent, nullptr);
      }
    }
    ASSERT_NE(entry.header.Packed, 0);
    ASSERT_LT(static_cast<std::size_t>(damage.block), entry.blocks.size());
    // The stream now claims 1 MiB.
    const std::uint32_t at = entry.blocks[damage.block].BlockOffset;
    (*image)[at] = 0;
    (*image)[at + 2] = 0x10;
  }
};

// Fails the n-th call of each kind, for every n until the run no longer
// reaches it; with decode-ahead (two or four processors: two workers) every
// run must do what it does without (one): the same calls, messages, files
// and exit code.
TEST(FaultInjectionTest, EveryFailingCallLeavesTheOldFilesWhole) {
  struct Row {
    Fault fault;
    ExitCode code;  // when the fault struck
  };
  // A file that cannot be made in place is made beside it and moved there.
  const Row rows[] = {{Fault::kCreateNew, ExitCode::kInstalled},
                      {Fault::kCreate, ExitCode::kStepFailed},
                      {Fault::kWrite, ExitCode::kStepFailed},
                      {Fault::kMove, ExitCode::kStepFailed},
                      {Fault::kRead, ExitCode::kStepFailed}};
  for (const Row& row : rows) {
    for (int n = 1;; ++n) {
      const std::string trace = std::string(sfx_test::FaultName(row.fault)) +
                                " #" + std::to_string(n);
      Outcome outcomes[4];
      for (int processors : {1, 2, 4}) {
        Installation installation(processors);
        FaultInjectionPlatform faults(installation.platform_);
        faults.FailNth(row.fault, n);
        outcomes[processors - 1] = installation.Run(faults);
        installation.ExpectNothingLost(trace.c_str());
      }
      EXPECT_EQ(outcomes[1], outcomes[0]) << trace;
      EXPECT_EQ(outcomes[3], outcomes[0]) << trace;
      const Outcome& outcome = outcomes[0];
      if (!outcome.struck) {
        EXPECT_EQ(outcome.code, ExitCode::kInstalled) << trace;
        EXPECT_GT(n, 1) << trace << ": the run never made such a call";
        break;
      }
      // A read that fails while the run walks to the first entry finds the
      // installer unreadable (1); any later one fails a file (5).
      if (row.fault == Fault::kRead && outcome.code == ExitCode::kDamaged) {
        continue;
      }
      EXPECT_EQ(outcome.code, row.code) << trace;
      ASSERT_LT(n, 200) << "the fault never stops striking";
    }
  }
}

TEST(FaultInjectionTest, FullDiskAtAnyByteKeepsTheOldFiles) {
  const std::uint64_t old_ones =
      kNew[0].size() + kNew[1].size() + kNew[2].size();
  const std::uint64_t total = old_ones + kAddedText.size();
  const std::uint64_t limits[] = {0,         1,
                                  2999,      3000,
                                  3001,      3000 + 65000,
                                  old_ones,  old_ones + 65000,
                                  total - 1, total};
  for (int processors : {1, 2, 4}) {
    for (std::uint64_t limit : limits) {
      const std::string trace = "disk full at byte " + std::to_string(limit) +
                                ", processors " + std::to_string(processors);
      Installation installation(processors);
      FaultInjectionPlatform faults(installation.platform_);
      faults.DiskFullAfter(limit);
      const Outcome outcome = installation.Run(faults);
      installation.ExpectNothingLost(trace.c_str());
      if (limit == total) {
        EXPECT_EQ(outcome.code, ExitCode::kInstalled) << trace;
        continue;
      }
      EXPECT_EQ(outcome.code, ExitCode::kStepFailed) << trace;
      // The file whose write fell short is the old one still, or absent.
      const int failed = limit < kNew[0].size()                    ? 0
                         : limit < kNew[0].size() + kNew[1].size() ? 1
                         : limit < old_ones                        ? 2
                                                                   : 3;
      if (failed < 3) {
        EXPECT_TRUE(installation.Text(failed) == kOld[failed]) << trace;
      } else {
        EXPECT_FALSE(installation.platform_.HasFile(kAdded)) << trace;
      }
    }
  }
}

TEST(FaultInjectionTest, FileHeldOpenIsNotReplacedAndTheRunFails) {
  Installation installation;
  installation.platform_.LockFile(kTargets[1]);
  FaultInjectionPlatform faults(installation.platform_);
  const Outcome outcome = installation.Run(faults);
  EXPECT_EQ(outcome.code, ExitCode::kStepFailed);
  EXPECT_TRUE(installation.Text(0) == kNew[0]);
  EXPECT_TRUE(installation.Text(1) == kOld[1]);
  EXPECT_TRUE(installation.Text(2) == kOld[2]);
  installation.ExpectNothingLost("held open");
}

// A damaged block fails the file it belongs to, wherever it lies and
// whether or not it was decoded ahead; in an entry that is passed over (an
// older file that is newer than the entry stays) it is never seen.
TEST(FaultInjectionTest, DamagedBlockIsAFailureThatNamesTheFile) {
  struct Case {
    Damage damage;
    bool newer_c;
  };
  const Case cases[] = {
      {{0, 0}, false},  // the first block of the package
      {{1, 1}, false},  // the middle of a file of three blocks
      {{1, 2}, false},  // its last block
      {{2, 0}, false},  // a later file
      {{3, 1}, false},  // the second block of a file written in place
      {{2, 0}, true},   // an entry that is passed over
  };
  for (const Case& c : cases) {
    for (int processors : {1, 2, 4}) {
      const std::string trace = "entry " + std::to_string(c.damage.entry) +
                                " block " + std::to_string(c.damage.block) +
                                (c.newer_c ? " kept" : "") + ", processors " +
                                std::to_string(processors);
      Installation installation(processors, c.damage, c.newer_c);
      QuietMode = false;  // the message is shown
      FaultInjectionPlatform faults(installation.platform_);
      const Outcome outcome = installation.Run(faults);
      installation.ExpectNothingLost(trace.c_str());
      const int failed = c.newer_c ? 4 : c.damage.entry;
      for (int i = 0; i < 3; ++i) {
        const bool kept = i >= failed || (i == 2 && c.newer_c);
        EXPECT_EQ(installation.Text(i), kept ? kOld[i] : kNew[i])
            << trace << ": " << kTargets[i];
      }
      EXPECT_EQ(installation.platform_.HasFile(kAdded), failed > 3) << trace;
      if (c.newer_c) {
        EXPECT_EQ(outcome.code, ExitCode::kInstalled) << trace;
        EXPECT_TRUE(outcome.messages.empty()) << trace;
        continue;
      }
      EXPECT_EQ(outcome.code, ExitCode::kStepFailed) << trace;
      EXPECT_EQ(outcome.messages,
                std::vector<std::string>{
                    "Cannot unpack " +
                    std::string(failed < 3 ? kTargets[failed] : kAdded) +
                    " file.\rThe installer file is "
                    "damaged."})
          << trace;
      // The run stopped: nothing was logged as installed after the file.
      EXPECT_FALSE(installation.platform_.RegistryValue(
          os::RegistryRoot::kCurrentUser, "Software\\TIV\\Hello\\install",
          "NumbOfProg"))
          << trace;
    }
  }
}

}  // namespace
}  // namespace sfx
