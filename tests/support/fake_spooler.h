#pragma once
// A print spooler for tests: a fixed list of printers, or a failure at a chosen
// step. Installed for the lifetime of the object.

#include <atomic>
#include <string>
#include <vector>

#include "printer/printer_spooler.h"

struct FakePrinter {
  std::wstring name;
  std::wstring port;
  std::wstring driver;
  std::wstring comment;
  uint32_t jobs = 0;
};

class FakeSpooler : public PrinterSpooler {
 public:
  explicit FakeSpooler(std::vector<FakePrinter> printers = {})
      : printers_(std::move(printers)), previous_(SetPrinterSpoolerForTesting(this)) {}
  ~FakeSpooler() override { SetPrinterSpoolerForTesting(previous_); }
  FakeSpooler(const FakeSpooler&) = delete;
  FakeSpooler& operator=(const FakeSpooler&) = delete;

  void FailEnum(int step, uint32_t error) {
    enumStep_ = step;
    enumError_ = error;
  }
  void FailGet(int step, uint32_t error) {
    getStep_ = step;
    getError_ = error;
  }
  // Leaves the comment (or another text) null in what the spooler returns.
  void SetNullComments(bool nullComments) { nullComments_ = nullComments; }
  int GetCalls() const { return getCalls_; }

  void ListPrinters(SpoolerEnumeration* out) override {
    if (enumStep_ != SPOOLER_OK) {
      out->step = enumStep_;
      out->error = enumError_;
      return;
    }
    for (const FakePrinter& p : printers_) out->printers.push_back(Record(p));
    out->step = SPOOLER_OK;
  }

  void ReadPrinter(const wchar_t* printerName, SpoolerPrinter* out) override {
    ++getCalls_;
    if (getStep_ != SPOOLER_OK) {
      out->step = getStep_;
      out->error = getError_;
      return;
    }
    for (const FakePrinter& p : printers_) {
      if (p.name == printerName) {
        out->printer = Record(p);
        out->step = SPOOLER_OK;
        return;
      }
    }
    out->step = SPOOLER_OPEN_FAILED;
    out->error = 1801;  // ERROR_INVALID_PRINTER_NAME
  }

 private:
  SpoolerPrinterRecord Record(const FakePrinter& p) const {
    SpoolerPrinterRecord r;
    r.printerName = p.name.c_str();
    r.portName = p.port.c_str();
    r.driverName = p.driver.c_str();
    r.comment = nullComments_ ? nullptr : p.comment.c_str();
    r.jobs = p.jobs;
    return r;
  }

  std::vector<FakePrinter> printers_;
  PrinterSpooler* previous_;
  int enumStep_ = SPOOLER_OK;
  uint32_t enumError_ = 0;
  int getStep_ = SPOOLER_OK;
  uint32_t getError_ = 0;
  bool nullComments_ = false;
  std::atomic<int> getCalls_{0};  // updates running side by side read printers
};
