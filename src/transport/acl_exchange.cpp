#include "transport/acl_exchange.h"

#include <cstring>
#include <new>
#include <vector>

#include "host/clock.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "host/unique_file.h"
#include "transport/burn_count.h"

void WriteAclLog(const AclLog& line, uint32_t error, const wchar_t* subject, int count) {
  Logger* log = Logger::Instance();
  switch (line.form) {
    case ACL_LOG_NONE:
      break;
    case ACL_LOG_PLAIN:
      log->Write(L"%ls", line.text);
      break;
    case ACL_LOG_ERROR:
      log->WriteError(error, L"%ls", line.text);
      break;
    case ACL_LOG_ERROR_CODE:
      log->Write(line.text, static_cast<int>(error));
      break;
    case ACL_LOG_SUBJECT:
      log->Write(line.text, subject ? subject : L"");
      break;
    case ACL_LOG_COUNT:
      log->Write(line.text, count);
      break;
  }
}

namespace {

class Exchange {
 public:
  Exchange(const AclLink& link, const AclExchangePlan& plan, uint16_t cmdID, AclExchangeResult* out)
      : m_link(link), m_plan(plan), m_cmdID(cmdID), m_out(out), m_channel(link.channel) {}

  void Run(const AclCommand& command, const uint8_t* data, uint32_t dataLength, const uint8_t* tail = nullptr,
           uint32_t tailLength = 0) {
    Line(m_plan.beforeUel);
    if (!Send(m_plan.uel, ACL_STAGE_UEL, PJL_UEL, PJL_UEL_LEN) ||
        !Send(m_plan.enterLang, ACL_STAGE_ENTERLANG, PJL_ENTERLANG, PJL_ENTERLANG_LEN)) {
      return;
    }
    if (m_plan.beforeCommand) Logger::Instance()->Write(m_plan.beforeCommand, static_cast<unsigned>(m_cmdID));
    if (!Send(m_plan.command, ACL_STAGE_COMMAND, command.bytes, ACL_RECORD_SIZE)) return;
    if (data && !Send(m_plan.data, ACL_STAGE_DATA, data, dataLength, m_plan.dataChunk, tail, tailLength)) return;
    if (m_plan.closing == ACL_CLOSE_AFTER_DATA && !Send(m_plan.closingUel, ACL_STAGE_CLOSING, PJL_UEL, PJL_UEL_LEN)) {
      return;
    }
    if (m_plan.reply.reads > 0) {
      if (!Pause(m_plan.pauseMs)) return;
      Line(m_plan.beforeReply);
      if (!ReadReply()) return;
      Line(m_plan.afterChecks);
      if (m_plan.text != ACL_TEXT_NONE && !ReadText()) return;
    }
    Line(m_plan.beforeClosingUel);
    if (m_plan.closing == ACL_CLOSE_AFTER_REPLY && !Send(m_plan.closingUel, ACL_STAGE_CLOSING, PJL_UEL, PJL_UEL_LEN)) {
      return;
    }
    m_out->finished = 1;
  }

 private:
  // False when the run was interrupted during the pause: no reply is read.
  bool Pause(uint32_t ms) {
    const AclProgress* progress = m_link.progress;
    if (!progress || !progress->paused) {
      if (ms) SleepMs(ms);
      return true;
    }
    progress->paused(0);  // the pause begins
    for (uint32_t left = ms; left > 0;) {
      if (Stopped(ACL_STAGE_REPLY)) return false;
      const uint32_t slice = left < ACL_PAUSE_SLICE_MS ? left : ACL_PAUSE_SLICE_MS;
      SleepMs(slice);
      left -= slice;
      progress->paused(slice);
    }
    return true;
  }

  // The follower asked the exchange to end: a failure at `stage`.
  bool Stopped(AclStage stage) {
    const AclProgress* progress = m_link.progress;
    if (!progress || !progress->stopped || !progress->stopped()) return false;
    Logger::Instance()->Write(L"The run was interrupted: the exchange ends here.");
    m_out->ok = 0;
    if (m_out->firstFailure == ACL_STAGE_NONE) m_out->firstFailure = stage;
    return true;
  }

  static void Line(const wchar_t* text) {
    if (text) Logger::Instance()->Write(L"%ls", text);
  }

  // Applies a failure; true when the exchange goes on.
  bool Fail(const AclOutcome& outcome, AclStage stage, int result) {
    if (outcome.uel) m_channel->Write(PJL_UEL, PJL_UEL_LEN);
    // Only a failed call has an error of its own; a short one reports 0.
    uint32_t error = result < 0 && m_link.lastError ? m_link.lastError() : 0;
    WriteAclLog(outcome.line, error, m_link.subject, result);
    WriteAclLog(outcome.more, error, m_link.subject, result);
    m_out->ok = 0;
    if (m_out->firstFailure == ACL_STAGE_NONE) m_out->firstFailure = stage;
    return outcome.goesOn;
  }

  // Without `chunk` one write must take every byte; with it, writes of at
  // most `chunk` bytes go on from the first byte not yet taken. Followed data
  // without `chunk` goes out in pieces, each of which must be taken whole.
  // `tail` continues `bytes`: the writes are the same as for one buffer.
  bool Send(const AclStep& step, AclStage stage, const uint8_t* bytes, uint32_t headLength, uint32_t chunk = 0,
            const uint8_t* tail = nullptr, uint32_t tailLength = 0) {
    const bool follow = stage == ACL_STAGE_DATA && m_link.progress && m_link.progress->sent;
    const uint32_t length = headLength + (tail ? tailLength : 0);
    const uint32_t most = chunk ? chunk : follow ? ACL_FOLLOWED_PIECE : 0;
    std::vector<uint8_t> joined;  // a piece across the end of `bytes`
    uint32_t sent = 0;
    do {
      if (follow && Stopped(stage)) return false;
      uint32_t piece = most && length - sent > most ? most : length - sent;
      const uint8_t* from = bytes + sent;
      if (sent + piece > headLength) {
        if (sent >= headLength) {
          from = tail + (sent - headLength);
        } else {
          joined.assign(bytes + sent, bytes + headLength);
          joined.insert(joined.end(), tail, tail + (sent + piece - headLength));
          from = joined.data();
        }
      }
      int written = m_channel->Write(from, piece);
      if (written < 0 || static_cast<uint32_t>(written) > piece ||
          (chunk ? written == 0 && piece > 0 : static_cast<uint32_t>(written) != piece)) {
        return Fail(written < 0 ? step.failed : step.fellShort, stage, written);
      }
      sent += static_cast<uint32_t>(written);
      if (follow) m_link.progress->sent(sent, length);
    } while (sent < length);
    return true;
  }

  // Up to policy.reads reads of what is still missing of `want`: the bytes
  // received, or -1 when a read failed.
  int Receive(uint8_t* buffer, uint32_t want, const AclReadPolicy& policy, const wchar_t* eachRead, bool text) {
    uint32_t got = 0;
    for (int i = 0; i < policy.reads && got < want; ++i) {
      int n = m_channel->Read(buffer + got, want - got, policy.waitMs);
      if (eachRead && text) Logger::Instance()->Write(eachRead, static_cast<int>(want - got), n);
      if (eachRead && !text) Logger::Instance()->Write(eachRead, n);
      if (n < 0) return -1;
      got += static_cast<uint32_t>(n) < want - got ? static_cast<uint32_t>(n) : want - got;
      if (policy.pauseMs) SleepMs(policy.pauseMs);
    }
    return static_cast<int>(got);
  }

  bool ReadReply() {
    if (m_link.replyChannel && !(m_channel = m_link.replyChannel())) {
      m_out->ok = 0;
      if (m_out->firstFailure == ACL_STAGE_NONE) m_out->firstFailure = ACL_STAGE_REPLY;
      return false;
    }
    m_out->response.Clear();
    int got = Receive(m_out->response.bytes, ACL_RECORD_SIZE, m_plan.reply, m_plan.eachRead, false);
    if (got < 0) return Fail(m_plan.replyRead.failed, ACL_STAGE_REPLY, got);
    // The first failed check decides the one line: an incomplete answer is
    // not checked field by field.
    if (got < static_cast<int>(ACL_RECORD_SIZE)) return Fail(m_plan.replyRead.fellShort, ACL_STAGE_REPLY_SHORT, got);
    const AclLog* lines[] = {nullptr, &m_plan.checkPrefix, &m_plan.checkCmdId, &m_plan.checkStatus};
    int check = CheckAclResponse(m_out->response, m_cmdID);
    if (check == ACL_CHECK_OK) return true;
    wchar_t text[ACL_TEXT_BUFFER_SIZE];
    if (m_plan.checkText) m_plan.checkText(check, m_cmdID, text, ACL_TEXT_BUFFER_SIZE);
    const AclLog line = m_plan.checkText ? AclPlain(text) : *lines[check];
    return Fail({line, {}, m_plan.checkUel, m_plan.checksGoOn}, ACL_STAGE_CHECK, 0);
  }

  bool ReadText() {
    uint8_t raw[ACL_TEXT_BUFFER_SIZE] = {};
    int got;
    if (m_plan.text == ACL_TEXT_ONE_READ) {
      got = m_channel->Read(raw, ACL_TEXT_MAX, m_plan.textRead.waitMs);
      if (got <= 0) return Fail(m_plan.textLost, ACL_STAGE_TEXT, got);
    } else {
      uint32_t announced = m_out->response.TextLength();
      uint32_t want = announced < ACL_TEXT_MAX ? announced : static_cast<uint32_t>(ACL_TEXT_MAX);
      got = Receive(raw, want, m_plan.textRead, m_plan.eachTextRead, true);
      if (got < 0) return Fail(m_plan.textLost, ACL_STAGE_TEXT, got);
    }
    uint32_t length = static_cast<uint32_t>(got) < ACL_TEXT_MAX ? static_cast<uint32_t>(got) : ACL_TEXT_MAX;
    m_out->textLength = length > m_plan.textSkip ? length - m_plan.textSkip : 0;
    std::memcpy(m_out->text, raw + m_plan.textSkip, m_out->textLength);
    m_out->text[m_out->textLength] = 0;
    return true;
  }

  const AclLink& m_link;
  const AclExchangePlan& m_plan;
  uint16_t m_cmdID;
  AclExchangeResult* m_out;
  ByteChannel* m_channel;
};

}  // namespace

void RunAclExchange(const AclLink& link, const AclExchangePlan& plan, const AclCommand& command, const uint8_t* data,
                    uint32_t dataLength, AclExchangeResult* out) {
  Exchange(link, plan, command.CmdId(), out).Run(command, data, dataLength);
}

void RunAclExchange(const AclLink& link, const AclExchangePlan& plan, const AclCommand& command, const uint8_t* data,
                    uint32_t dataLength, const uint8_t* tail, uint32_t tailLength, AclExchangeResult* out) {
  Exchange(link, plan, command.CmdId(), out).Run(command, data, dataLength, tail, tailLength);
}

int ReadAclBurnImage(FILE* file, size_t extra, const wchar_t* sizeFormat, const AclLog& readFailed, AclBurnImage* out) {
  int64_t end = -1;
  if (file && SeekFile64(file, 0, SEEK_END) == 0 && (end = TellFile64(file)) >= 0 && SeekFile64(file, 0, SEEK_SET)) {
    end = -1;
  }
  uint64_t size = end >= 0 ? static_cast<uint64_t>(end) : 0;
  if (end >= 0 && sizeFormat) {
    Logger::Instance()->Write(sizeFormat, static_cast<unsigned>(size), static_cast<unsigned>(size >> 32));
  }
  if (end < 0 || size + extra > 0xFFFFFFFFull) {
    WriteAclLog(readFailed, file ? LastSystemError() : 0, nullptr);
    return 0;
  }
  out->owned.reset(new (std::nothrow) uint8_t[size + extra > 0 ? size + extra : 1]);
  out->data = out->owned.get();
  if (!out->owned) {
    Logger::Instance()->Write(L"Failed ot malloc memory");
    return 0;
  }
  out->size = static_cast<uint32_t>(size);
  if ((size > 0 ? fread(out->owned.get(), 1, size, file) : 0) != size) {
    WriteAclLog(readFailed, LastSystemError(), nullptr);
    return 0;
  }
  return 1;
}

int AclBurnSource::Check(const uint8_t* data, uint64_t size) const {
  m_verdict = CheckFirmwareSignature(TrustedSigners(), m_path, data, size);
  return SignatureAllows(m_verdict) ? 1 : 0;
}

int AclBurnSource::Read(size_t room, const wchar_t* sizeFormat, const AclLog& readFailed, AclBurnImage* out) const {
  if (!m_image) {
    if (!ReadAclBurnImage(m_file, room, sizeFormat, readFailed, out)) return 0;
  } else {
    const uint64_t size = m_image->Size();
    if (sizeFormat) {
      Logger::Instance()->Write(sizeFormat, static_cast<unsigned>(size), static_cast<unsigned>(size >> 32));
    }
    if (size + room > 0xFFFFFFFFull) {
      WriteAclLog(readFailed, 0, nullptr);
      return 0;
    }
    out->data = m_image->Data();
    out->size = static_cast<uint32_t>(size);
  }
  return AclImageAsChecked(out->data, out->size, m_checked) && Check(out->data, out->size);
}

int AclImageAsChecked(const uint8_t* data, uint64_t size, const FirmwareFileInfo* checked) {
  if (!checked || FirmwareMatchesInfo(data, size, *checked)) return 1;
  Logger::Instance()->Write(L"ERROR: the firmware file changed after it was checked, nothing is sent.");
  return 0;
}

int DownloadWithChosenBurn(FirmwareFileInfo* info, const wchar_t* fileName, const FirmwareImage* image,
                           const std::function<int(const AclBurnSource& source, AclBurnChoice choice)>& burn) {
  wchar_t path[260];
  CopyText(path, 260, fileName ? fileName : L"");
  FirmwareFileInfo scratch;
  if (!info) info = &scratch;
  // What the version check saw (no size: it never classified the file).
  const FirmwareFileInfo checked = *info;
  int32_t fileType = 0;
  // A shared image is what every update of the file sends: each checks those
  // bytes, not the file as it may be by now.
  const uint32_t version = image ? GetBinImageVersion(info, &fileType, path, image->Data(), image->Size())
                                 : GetBinFileVersion(info, &fileType, path);
  Logger* log = Logger::Instance();
  if (fileType == BINTYPE_CORRUPT) {
    log->Write(L"ERROR: the firmware file is corrupt, nothing is sent.");
    return -1;
  }
  UniqueFile file;
  if (!image) {
    SetFileAttributesNormal(path);
    file.reset(OpenFileWide(path, "rb"));
    if (!file) {
      log->WriteError(LastSystemError(), L"Failed to Open fw bin file");
      return -1;
    }
  }
  // A file cut short or replaced since the check (a copy still being written,
  // a new release dropped in) would be burned as it is now: a cut image passes
  // the printer's checksum, which is computed over what is sent.
  if (checked.fileSize >= 0 &&
      (checked.fileType != info->fileType || checked.fileSize != info->fileSize || checked.fileVersion != version)) {
    log->Write(L"ERROR: the firmware file changed after it was checked, nothing is sent.");
    return -1;
  }
  // Without its trailer an image cannot be compared or verified, and a cut one
  // has none.
  if (fileType != BINTYPE_NAND_PKG && version == 0) {
    log->Write(L"ERROR: the firmware file has no version, nothing is sent.");
    return -1;
  }
  // The file may still change between this look and the read for sending:
  // the burn compares what it read with the check's view.
  const FirmwareFileInfo* view = checked.fileSize >= 0 ? &checked : info;
  const AclBurnSource source = image ? AclBurnSource(image, view) : AclBurnSource(file.get(), path, view);
  int burned = -1;
  {
    BurnScope burning;
    burned = burn(source, ChooseAclBurn(fileType));
  }
  if (!SignatureAllows(source.Verdict())) return ACL_DOWNLOAD_NOT_TRUSTED;
  return burned == 1 ? 1 : burned == ACL_BURN_NOTHING_WRITTEN ? 0 : -1;
}
