// Nothing lost, every failure seen: the installation run over an older
// installation while the file system fails one call at a time (the n-th
// create, write, move or read, a full disk at byte k, a file held open, a
// damaged block). After each, every file that was there holds either its
// old bytes or, when its turn had passed, the new ones; no temporary file
// is left; and the exit code is the one the table gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/file_entry.h"
#include "fake_platform.h"
#include "install/installation.h"
#include "install_fixture.h"
#include "package/container.h"
#include "package_image.h"
#include "platform/report.h"
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
// Compressible, so that every entry is stored as LZH streams; b spans two
// blocks.
const std::string kNew[] = {std::string(3000, 'a'), std::string(70000, 'b'),
                            std::string(500, 'c')};

struct Outcome {
  bool struck = false;
  ExitCode code = ExitCode::kInstalled;
  std::vector<std::string> errors;
};

// An older installation at C:\Dest and an installer for the new one.
class Installation {
 public:
  explicit Installation(bool damage_b = false) {
    InstallFixture::ResetState();
    fake::AddFileEntry(record_, "a.txt");
    fake::AddFileEntry(record_, "b.txt", "Docs");
    fake::AddFileEntry(record_, "c.txt");
    record_.ProductName = "Hello";
    record_.RegistryKey = "Software\\TIV\\Hello";
    std::vector<std::uint8_t> image = fake::BuildInstallerImage(
        record_, {kNew[0], kNew[1], kNew[2]}, 1700000000, damage_b);
    if (damage_b) DamageFirstBlockOfB(&image);
    platform_.AddFile(kExe, image);
    for (int i = 0; i < 3; ++i) platform_.AddFile(kTargets[i], kOld[i], 0);
    ExePath = kExe;
    VerifyPackage(ExePath, damage_b);
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
    return outcome;
  }

  // Each target holds its old or its new bytes, and no temporary file is
  // left beside it.
  void ExpectNothingLost(const char* trace) const {
    for (int i = 0; i < 3; ++i) {
      const std::string text = platform_.FileText(kTargets[i]);
      EXPECT_TRUE(text == kOld[i] || text == kNew[i])
          << trace << ": " << kTargets[i] << " holds " << text.size()
          << " bytes";
      EXPECT_FALSE(platform_.HasFile(std::string(kTargets[i]) + ".sfxnew"))
          << trace;
    }
  }

  std::string Text(int i) const { return platform_.FileText(kTargets[i]); }

  fake::FakePlatform platform_;
  fake::FakePlatformScope scope_{&platform_};
  TInstalRecord record_;

 private:
  // Gives the stream of b.txt's first block a wrong length, as a damaged
  // download would.
  void DamageFirstBlockOfB(std::vector<std::uint8_t>* image) {
    sfx_test::MemoryFile file(*image);
    PackageLayout layout;
    std::int64_t marker = static_cast<std::int64_t>(image->size()) - 20;
    ASSERT_EQ(ReadPackageLayout(file, marker, &layout, nullptr),
              PackageWalk::kOk);
    PackedFileEntry entry;
    ASSERT_TRUE(ReadPackedFileEntry(file, &entry));  // a.txt
    for (const TPackedBlock& block : entry.blocks) {
      file.Seek(block.BlockSize, File::Origin::kCurrent, nullptr);
    }
    ASSERT_TRUE(ReadPackedFileEntry(file, &entry));  // b.txt
    ASSERT_NE(entry.header.Packed, 0);
    // The stream now claims 16 bytes instead of 65000.
    (*image)[entry.blocks[0].BlockOffset] = 16;
    (*image)[entry.blocks[0].BlockOffset + 1] = 0;
  }
};

// Fails the n-th call of each kind, for every n until the run no longer
// reaches it.
TEST(FaultInjectionTest, EveryFailingCallLeavesTheOldFilesWhole) {
  struct Row {
    Fault fault;
    ExitCode code;  // when the fault struck
  };
  const Row rows[] = {{Fault::kCreate, ExitCode::kStepFailed},
                      {Fault::kWrite, ExitCode::kStepFailed},
                      {Fault::kMove, ExitCode::kStepFailed},
                      {Fault::kRead, ExitCode::kStepFailed}};
  for (const Row& row : rows) {
    for (int n = 1;; ++n) {
      const std::string trace = std::string(sfx_test::FaultName(row.fault)) +
                                " #" + std::to_string(n);
      Installation installation;
      FaultInjectionPlatform faults(installation.platform_);
      faults.FailNth(row.fault, n);
      const Outcome outcome = installation.Run(faults);
      installation.ExpectNothingLost(trace.c_str());
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
  const std::uint64_t total = kNew[0].size() + kNew[1].size() + kNew[2].size();
  const std::uint64_t limits[] = {
      0, 1, 2999, 3000, 3001, 3000 + 65000, total - 1, total};
  for (std::uint64_t limit : limits) {
    const std::string trace = "disk full at byte " + std::to_string(limit);
    Installation installation;
    FaultInjectionPlatform faults(installation.platform_);
    faults.DiskFullAfter(limit);
    const Outcome outcome = installation.Run(faults);
    installation.ExpectNothingLost(trace.c_str());
    if (limit == total) {
      EXPECT_EQ(outcome.code, ExitCode::kInstalled) << trace;
      continue;
    }
    EXPECT_EQ(outcome.code, ExitCode::kStepFailed) << trace;
    // The file whose write fell short is the old one still.
    const int failed = limit < 3000 ? 0 : limit < 73000 ? 1 : 2;
    EXPECT_TRUE(installation.Text(failed) == kOld[failed]) << trace;
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

TEST(FaultInjectionTest, DamagedBlockIsAFailureThatNamesTheFile) {
  Installation installation(/*damage_b=*/true);
  QuietMode = false;  // the message is shown
  FaultInjectionPlatform faults(installation.platform_);
  const Outcome outcome = installation.Run(faults);
  EXPECT_EQ(outcome.code, ExitCode::kStepFailed);
  EXPECT_TRUE(installation.Text(1) == kOld[1]);
  EXPECT_TRUE(installation.Text(2) == kOld[2]);
  installation.ExpectNothingLost("damaged");
  ASSERT_EQ(installation.platform_.MessageTexts(),
            std::vector<std::string>{
                "Cannot unpack C:\\Dest\\Docs\\b.txt file.\rThe installer "
                "file is damaged."});
  // The run stopped: nothing was logged as installed after b.txt.
  EXPECT_FALSE(installation.platform_.RegistryValue(
      os::RegistryRoot::kCurrentUser, "Software\\TIV\\Hello\\install",
      "NumbOfProg"));
}

}  // namespace
}  // namespace sfx
