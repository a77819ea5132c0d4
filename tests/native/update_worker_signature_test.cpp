// The update worker with signers configured, against the simulated printer: a
// file without a trusted signature is refused when it is chosen, before the
// printer is asked for its version (so a check-only run reports it too); one
// that changes after that check is refused when it is read for sending; a
// signed one is written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw_download_scene.h"
#include "host/file_io.h"
#include "ntwk_sim_fixture.h"
#include "support/fake_ports.h"
#include "support/fake_signing.h"
#include "update/fw_download.h"
#include "update/update_worker.h"

using fwdltest::ControllerScene;
using fwdltest::SimCommands;

TEST(UpdateWorker, SignatureCheckedWhenTheFileIsChosenAndAgainWhenItIsSent) {
  const std::vector<uint8_t> release = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 8192, 1100);
  std::vector<uint8_t> tampered = release;
  tampered[4000] ^= 0x40;
  const Thumbprint signer = fwtest::SignerThumbprint(0x7C);
  const std::wstring refused = L"QV: The firmware file is not signed by a trusted signer.";
  struct Case {
    const char* name;
    bool signature;
    bool changedAfterTheCheck;
    int status;
    std::wstring outcome;
    std::vector<std::string> commands;
  } cases[] = {
      {"signed",
       true,
       false,
       FWDL_UPDATED,
       L"QV: Successfully updated firmware.\r\n",
       {"GET_PRINTER_INFO", "GET_PRINTER_INFO", "GET_VERSION", "BURN_FLASH"}},
      {"not signed", false, false, -1, refused, {"GET_PRINTER_INFO"}},
      {"changed after the check",
       true,
       true,
       FWDL_NOT_TRUSTED,
       refused,
       {"GET_PRINTER_INFO", "GET_PRINTER_INFO", "GET_VERSION"}},
  };
  const std::wstring path = fwtest::TempPath(L"signed-worker.bin");
  FirmwareTables tables;
  tables.binfileList = {L"*", L"signed-worker.bin"};
  tables.programDirectory = path.substr(0, path.size() - wcslen(L"signed-worker.bin"));
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string address = "127.62.9." + std::to_string(++n);
    const std::wstring port = L"IP_" + std::wstring(address.begin(), address.end());
    ControllerScene scene(L"KORM", port);
    FakePortSource ports;
    ports.AddXcvAnswer(port, std::wstring(address.begin(), address.end()));
    nettest::SimPrinter sim;
    ASSERT_TRUE(sim.Start(address, {"--version", "1000", "--restart-ms", "0"}, 5000)) << sim.error();
    fwtest::FakeSigning signing({signer});
    fwtest::WriteFileBytes(path, release);
    RemoveFileWide((path + L".p7s").c_str());
    if (c.signature) fwtest::WriteFakeSignature(path, signer, release);
    static const std::vector<uint8_t>* change;
    static std::wstring changing;
    change = c.changedAfterTheCheck ? &tampered : nullptr;
    changing = path;
    scene.progress.SetListener([](const UpdateProgress& p, UpdateProgressEvent what) {
      if (change && what == UpdateProgressEvent::Milestone && p.Percent() == 50) {
        fwtest::WriteFileBytes(changing, *change);
      }
    });

    const WorkerResult result = RunUpdateWorker(tables, {L"QV", port, L"0"}, &scene.progress);

    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.outcomeLine, c.outcome);
    EXPECT_EQ(SimCommands(sim.sim()), c.commands);
  }
  RemoveFileWide((path + L".p7s").c_str());
}
