#pragma once
// One ACL exchange inside a PJL job, written once for every transport:
// PJL_UEL, the enter-language line, the command and its data, the reply with
// its checks and text, the closing PJL_UEL. What differs between transports
// and operations is data: the channel, the read policies, the text offset,
// the log lines, and whether a failure ends the exchange or only marks it.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

#include "firmware/firmware_file.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_signature.h"
#include "transport/acl_protocol.h"
#include "transport/byte_channel.h"

enum AclLogForm : uint8_t {
  ACL_LOG_NONE,
  ACL_LOG_PLAIN,       // the text as it stands
  ACL_LOG_ERROR,       // the logger's error form with the last error
  ACL_LOG_ERROR_CODE,  // the text formats the last error (%d)
  ACL_LOG_SUBJECT,     // the text formats the link's subject (%ls)
  ACL_LOG_COUNT,       // the text formats the step's result (%d)
};
struct AclLog {
  AclLogForm form;
  const wchar_t* text;
};
// `error` for the error forms, `subject` and `count` for theirs.
void WriteAclLog(const AclLog& line, uint32_t error, const wchar_t* subject, int count = 0);

// What a failure does: a PJL_UEL first when `uel`, up to two lines, then the
// exchange ends unless `goesOn` (then only its result fails).
struct AclOutcome {
  AclLog line;
  AclLog more;
  bool uel;
  bool goesOn;
};
// A step whose call reported -1 (`failed`) or fewer bytes than wanted.
struct AclStep {
  AclOutcome failed;
  AclOutcome fellShort;
};
// Up to `reads` reads of the remainder, each with `waitMs`, `pauseMs` after each.
struct AclReadPolicy {
  uint8_t reads;
  uint32_t waitMs;
  uint32_t pauseMs;
};

enum AclTextMode : uint8_t {
  ACL_TEXT_NONE,
  ACL_TEXT_ONE_READ,   // one read of up to 1023 bytes; nothing received is a failure
  ACL_TEXT_BY_LENGTH,  // the announced length, at most 1023, read by `textRead`
};
enum AclClosing : uint8_t { ACL_CLOSE_NONE, ACL_CLOSE_AFTER_DATA, ACL_CLOSE_AFTER_REPLY };

// Lines are logged as they stand when set; `beforeCommand` formats the
// command's code (%#x), `eachRead` a reply read's result (%d), `eachTextRead`
// the bytes asked and the result (%d, %d).
struct AclExchangePlan {
  const wchar_t* beforeUel;
  AclStep uel, enterLang;
  const wchar_t* beforeCommand;
  AclStep command, data;
  uint32_t dataChunk;  // most bytes per data write; 0: one write that must take all
  AclClosing closing;
  AclStep closingUel;
  uint32_t pauseMs;  // before the reply
  const wchar_t* beforeReply;
  AclReadPolicy reply;  // no reads: the exchange ends after its writes
  const wchar_t* eachRead;
  AclStep replyRead;  // fellShort: fewer than 16 bytes
  AclLog checkPrefix, checkCmdId, checkStatus;
  // When set, the line of a failed check instead (AclBurnCheckMessage...).
  void (*checkText)(int check, uint16_t cmdID, wchar_t* out, size_t outSize);
  bool checkUel, checksGoOn;
  const wchar_t* afterChecks;
  AclTextMode text;
  AclReadPolicy textRead;
  const wchar_t* eachTextRead;
  AclOutcome textLost;
  uint8_t textSkip;  // leading text bytes not handed on
  const wchar_t* beforeClosingUel;
};

// Where an exchange first failed; from ACL_STAGE_REPLY on, all data was written.
enum AclStage : uint8_t {
  ACL_STAGE_NONE,
  ACL_STAGE_UEL,
  ACL_STAGE_ENTERLANG,
  ACL_STAGE_COMMAND,
  ACL_STAGE_DATA,
  ACL_STAGE_REPLY,  // no reply channel, or the read failed
  ACL_STAGE_REPLY_SHORT,
  ACL_STAGE_CHECK,
  ACL_STAGE_TEXT,
  ACL_STAGE_CLOSING,
};

// One update's view of an exchange, when it follows one: the data bytes
// written so far of the whole, and each slice of the pause before the reply
// (then slept in slices of at most a second, so the wait can be shown).
// `stopped`, when set, is asked before each piece and each slice: true ends
// the exchange there as failed (the run was interrupted).
struct AclProgress {
  std::function<void(uint32_t sent, uint32_t total)> sent;
  std::function<void(uint32_t ms)> paused;
  std::function<bool()> stopped;
};
constexpr uint32_t ACL_PAUSE_SLICE_MS = 1000;
constexpr uint32_t ACL_FOLLOWED_PIECE = 64 * 1024;

struct AclLink {
  ByteChannel* channel;
  std::function<uint32_t()> lastError;  // for the error forms after a -1; empty: 0
  const wchar_t* subject;
  // After the pause: the channel to read the reply on, or nullptr (after
  // logging why) to end the exchange. Empty: `channel`.
  std::function<ByteChannel*()> replyChannel;
  const AclProgress* progress = nullptr;
};

struct AclExchangeResult {
  int ok = 1;        // every step passed
  int finished = 0;  // ran to its end, failures on the way only marked
  AclStage firstFailure = ACL_STAGE_NONE;
  AclResponse response{};
  char text[ACL_TEXT_BUFFER_SIZE] = {};  // NUL-terminated after textLength bytes
  uint32_t textLength = 0;
};

// `data` (when not null) follows the command.
void RunAclExchange(const AclLink& link, const AclExchangePlan& plan, const AclCommand& command, const uint8_t* data,
                    uint32_t dataLength, AclExchangeResult* out);

// `data` (when not null) follows the command, and `tail` right after it as
// if both were one buffer: the SPI burn's checksum after an image it shares.
void RunAclExchange(const AclLink& link, const AclExchangePlan& plan, const AclCommand& command, const uint8_t* data,
                    uint32_t dataLength, const uint8_t* tail, uint32_t tailLength, AclExchangeResult* out);

// The bytes a burn sends: a shared image's own, or a file read whole for this
// burn alone (`owned`).
struct AclBurnImage {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  std::unique_ptr<uint8_t[]> owned;
};
// A whole file in a buffer of its size plus `extra` spare bytes. Logs
// `sizeFormat` (when set) with the size's low and high words, "Failed ot malloc
// memory", or `readFailed` with the system error. Sizes beyond 32 bits fail as
// a failed read: the burn commands cannot describe them. 1 or 0.
int ReadAclBurnImage(FILE* file, size_t extra, const wchar_t* sizeFormat, const AclLog& readFailed, AclBurnImage* out);

// Where a burn takes the bytes it sends: the image the run's updates of this
// file share, or the open firmware file read whole into memory; and the
// run's signature rule, which those bytes pass before the first of them is
// written. Without a path (a bare file, as tests give one) no signature can
// be found: with signers configured nothing passes.
class AclBurnSource {
 public:
  AclBurnSource(FILE* file, const wchar_t* path = nullptr, const FirmwareFileInfo* checked = nullptr)  // NOLINT
      : m_file(file), m_path(path), m_checked(checked) {}
  explicit AclBurnSource(const FirmwareImage* image, const FirmwareFileInfo* checked = nullptr)
      : m_image(image), m_path(image->Path().c_str()), m_checked(checked) {}

  // The bytes (the shared image's own, or the file read by
  // ReadAclBurnImage), with `room` more still describable in 32 bits after
  // them (the SPI trailer), then the file as checked (AclImageAsChecked),
  // then the rule over them: 1 or 0.
  int Read(size_t room, const wchar_t* sizeFormat, const AclLog& readFailed, AclBurnImage* out) const;
  // The rule's verdict on the last read; SIGNATURE_NOT_REQUIRED before one.
  SignatureVerdict Verdict() const { return m_verdict; }

 private:
  int Check(const uint8_t* data, uint64_t size) const;

  FILE* m_file = nullptr;
  const FirmwareImage* m_image = nullptr;
  const wchar_t* m_path;
  const FirmwareFileInfo* m_checked;  // the file as its version check saw it; null: any
  mutable SignatureVerdict m_verdict = SIGNATURE_NOT_REQUIRED;
};

// Whether the file read for sending is the one its version check saw (size
// and trailer version; anything when `checked` is null or was never filled).
// Logs why not: a file replaced or cut while it was opened is never sent.
int AclImageAsChecked(const uint8_t* data, uint64_t size, const FirmwareFileInfo* checked);

// What a NAND burn returns when no package needed burning: nothing was written.
constexpr int ACL_BURN_NOTHING_WRITTEN = 2;

// DownloadWithChosenBurn's result when the file's signature was refused.
constexpr int ACL_DOWNLOAD_NOT_TRUSTED = -2;

// A transport's DownLoadFirmware after its own first line: classifies the
// bytes to be sent (the shared `image`, or without one the file `fileName`,
// opened: "Failed to Open fw bin file"), refuses a corrupt one (type 9), one
// that changed since the version check or has no version, each with a line,
// and runs the burn the product and file type call for, on those bytes with
// the file's path and the check's view of it. 1 when the burn reported 1, 0
// when it reported ACL_BURN_NOTHING_WRITTEN, ACL_DOWNLOAD_NOT_TRUSTED when
// the bytes did not pass the signature rule, else -1.
int DownloadWithChosenBurn(FirmwareFileInfo* info, const wchar_t* fileName, const FirmwareImage* image,
                           const std::function<int(const AclBurnSource& source, AclBurnChoice choice)>& burn);

constexpr AclLog AclPlain(const wchar_t* text) {
  return {ACL_LOG_PLAIN, text};
}
constexpr AclOutcome AclEnds(AclLog line = {}, bool uel = false) {
  return {line, {}, uel, false};
}
constexpr AclOutcome AclMarks(AclLog line = {}) {
  return {line, {}, false, true};
}
constexpr AclStep AclSame(AclOutcome outcome) {
  return {outcome, outcome};
}
// Ends after `text` (and a PJL_UEL first when `uel`), whether -1 or short.
constexpr AclStep AclEndsWith(const wchar_t* text, bool uel = false) {
  return AclSame(AclEnds(AclPlain(text), uel));
}
