#include "transport/ntwk_download.h"

#include <atomic>

#include "firmware/versions.h"
#include "host/clock.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "printer/port_address.h"
#include "printer/product_name.h"
#include "transport/acl_checksum.h"
#include "transport/acl_exchange.h"
#include "transport/acl_nand_burn.h"

static_assert(NTWK_PRINTER_PORT == PORT_PRINTER_RAW_TCP, "one printer port");

namespace {

const NtwkSettings& ProductSettings() {
  static const NtwkSettings settings;
  return settings;
}
std::atomic<const NtwkSettings*> g_settingsOverride{nullptr};

struct SetupMsgs {
  AclLog create;
  AclLog timeout;
  AclLog connect;
  bool connectTested;
};

// One operation's socket as the byte channel of its exchanges: set up afresh,
// closed and the library released on every path once it was started. Each
// write is one send, each read one receive under the socket's receive
// time-out (the wait of a read is that time-out, not the read's argument).
class NtwkConnection : public ByteChannel {
 public:
  NtwkConnection(const wchar_t* address, uint16_t port) : m_address(address), m_port(port) {
    const NtwkSettings& s = NtwkActiveSettings();
    m_channel = s.channelFactory ? s.channelFactory() : CreateSystemTcpChannel();
  }
  ~NtwkConnection() override {
    if (!m_channel) return;
    if (m_created) m_channel->Close();
    if (m_started) m_channel->Cleanup();
  }
  NtwkConnection(const NtwkConnection&) = delete;
  NtwkConnection& operator=(const NtwkConnection&) = delete;

  int Open(uint32_t receiveTimeoutMs, const SetupMsgs& msgs, const wchar_t* beforeCreate = nullptr) {
    if (!m_channel || !m_channel->Startup()) return 0;
    m_started = true;
    if (beforeCreate) Logger::Instance()->Write(L"%ls", beforeCreate);
    if (!m_channel->Create()) {
      WriteAclLog(msgs.create, m_channel->LastError(), m_address);
      return 0;
    }
    m_created = true;
    if (!m_channel->SetReceiveTimeout(receiveTimeoutMs)) {
      WriteAclLog(msgs.timeout, m_channel->LastError(), m_address);
      return 0;
    }
    // The printer gets as long to take bytes as it gets to give them: its
    // receive time-out (20 s; 8 s for the reset without reply).
    m_channel->SetSendTimeout(receiveTimeoutMs);
    int connected = 0;
    char narrow[NTWK_ADDRESS_MAX];
    uint8_t ip[4];
    // A text that is not a dotted IPv4 address never reaches connect and fails
    // like an unreachable printer.
    if (ToUtf8(m_address ? m_address : L"", narrow, sizeof narrow) != TEXT_ERROR_BAD_LENGTH &&
        ParseDottedIPv4(narrow, ip)) {
      connected = m_channel->Connect(ip, m_port == NTWK_PRINTER_PORT ? NtwkActiveSettings().port : m_port);
    }
    if (!connected && msgs.connectTested) {
      WriteAclLog(msgs.connect, m_channel->LastError(), m_address);
      return 0;
    }
    return 1;
  }

  // A count beyond int is refused: it could not be reported back.
  int Write(const uint8_t* data, uint32_t count) override {
    if (count > 0x7FFFFFFFu) return -1;
    return static_cast<int>(m_channel->Send(data, count));
  }
  int Read(uint8_t* buffer, uint32_t count, uint32_t) override {
    return static_cast<int>(m_channel->Receive(buffer, count));
  }
  int SetReceiveTimeout(uint32_t ms) { return m_channel->SetReceiveTimeout(ms); }
  // What ends a send the printer stopped taking, besides its time-out.
  void FollowStop(const AclProgress* progress) {
    m_channel->SetSendStop(progress && progress->stopped ? progress->stopped : std::function<bool()>());
  }
  uint32_t LastError() { return m_channel->LastError(); }

  // The exchange's view of this connection.
  AclLink Link() {
    return {this, [this] { return LastError(); }, m_address, nullptr};
  }

 private:
  const wchar_t* m_address;
  uint16_t m_port;
  std::unique_ptr<TcpChannel> m_channel;
  bool m_started = false;
  bool m_created = false;
};

// One operation: a connection set up with `setup` and one exchange on it; 0
// when the set-up failed. A burn's answer comes after the printer programmed
// its flash, under a longer time-out.
int RunOnConnection(const wchar_t* address, uint16_t port, uint32_t timeoutMs, const SetupMsgs& setup,
                    const AclExchangePlan& plan, const AclCommand& command, const uint8_t* data, uint32_t length,
                    AclExchangeResult* r, bool burn = false, const AclProgress* progress = nullptr,
                    const uint8_t* tail = nullptr, uint32_t tailLength = 0) {
  NtwkConnection conn(address, port);
  if (!conn.Open(timeoutMs, setup)) return 0;
  AclLink link = conn.Link();
  link.progress = progress;
  conn.FollowStop(progress);
  if (burn) {
    link.replyChannel = [&conn]() -> ByteChannel* {
      if (conn.SetReceiveTimeout(NtwkActiveSettings().burnReplyTimeoutMs)) return &conn;
      WriteAclLog({ACL_LOG_ERROR, L"Failed to configure socket"}, conn.LastError(), nullptr);
      return nullptr;
    };
  }
  RunAclExchange(link, plan, command, data, length, tail, tailLength, r);
  return 1;
}

AclLog SocketError(const wchar_t* text) {
  return {ACL_LOG_ERROR, text};
}
// A failed send or receive logs `line`; a short one ends silently.
AclStep LoggedFailure(AclLog line) {
  return {AclEnds(line), AclEnds()};
}

AclExchangePlan VersionPlan(bool nand) {
  AclExchangePlan s{};
  s.uel = LoggedFailure(SocketError(L"Could not send PJL_UEL to the socket..."));
  s.enterLang = LoggedFailure(SocketError(L"Could not send PJL_ENTERLANG to the socket..."));
  s.command = LoggedFailure(SocketError(L"Could not send acl cmd to the socket..."));
  s.beforeReply = L"GetNtwkPrinterFWVer(): Getting fw version...";
  s.reply = {1, 0, 0};
  s.replyRead = LoggedFailure(SocketError(L"Failed to get Firmware Version..."));
  s.checkPrefix = AclPlain(L"GetFWVersion(): ReadData() ACL_PREFIX Failed.");
  s.checkCmdId = AclPlain(nand ? L"GetFWVersion(): ReadData() ACLCMD_GET_COMP_VERSION Failed."
                               : L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
  s.checkStatus = AclPlain(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.");
  s.checksGoOn = true;
  s.afterChecks = nand ? L"GetFWVersion(): Get package versions." : L"GetFWVersion(): Get Firmware version.";
  s.text = nand ? ACL_TEXT_ONE_READ : ACL_TEXT_NONE;
  s.beforeClosingUel = L"Successfully received fw version...Now sending end PJL UEL";
  s.closing = ACL_CLOSE_AFTER_REPLY;
  s.closingUel = {AclMarks(SocketError(L"Failed to send PJL_UEL to printer")), AclMarks()};
  return s;
}

// The image and SPI burns differ only in command, buffer and the cmdID line.
AclExchangePlan ImageBurnPlan(bool spi) {
  AclExchangePlan s{};
  s.uel = AclEndsWith(L"Could not send PJL_UEL to the socket.");
  s.enterLang = AclEndsWith(L"Could not send PJL_ENTERLANG to the socket.");
  s.command = AclEndsWith(L"Could not send acl cmd to the socket.");
  s.data = AclEndsWith(L"Could not send bin file to the socket.");
  s.pauseMs = ProductIs(PRODUCT_TALEN) ? ACL_TALEN_BURN_PAUSE_MS : NTWK_BURN_PAUSE_MS;
  s.reply = {1, 0, 0};
  s.replyRead = {AclEnds(AclPlain(L"Could not recv acl response from the socket.")),
                 AclEnds(AclPlain(L"Failed to receive the correct amount of data from Network."))};
  s.checkPrefix = AclPlain(L"GetFWVersion(): ReadData() ACL_PREFIX Failed.");
  s.checkCmdId = AclPlain(spi ? L"GetFWVersion(): ReadData() ACLCMD_WRITE_SPIMEM Failed."
                              : L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
  s.checkStatus = AclPlain(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.");
  return s;
}

// A failure after the enter-language line takes the printer out of ACL mode.
AclExchangePlan NandPackagePlan() {
  AclExchangePlan s{};
  s.beforeUel = L"Sending the PJL command for Bin File Downloading...";
  s.uel = AclEndsWith(L"Could not send PJL_UEL to the socket...");
  s.enterLang = AclEndsWith(L"Could not send PJL_ENTERLANG to the socket...");
  s.command = AclEndsWith(L"Could not send acl cmd to the socket...", true);
  s.data = AclEndsWith(L"Could not send bin file to the socket...", true);
  s.pauseMs = NTWK_BURN_PAUSE_MS;
  s.beforeReply = L"Bin file downloaded successfully...Getting the response";
  s.reply = {1, 0, 0};
  s.replyRead = {AclEnds(AclPlain(L"Could not recv acl response from the socket...")),
                 AclEnds(AclPlain(L"Failed to receive data from Network."), true)};
  s.checkPrefix = AclPlain(L"Failed to receive correct ACL_PREFIX from Network.");
  s.checkCmdId = AclPlain(L"Failed to receive correct ACLCMD_BURN_FLASH from Network.");
  s.checkStatus = AclPlain(L"Failed to receive correct ACLCMD_STATUS_SUCCESS from Network.");
  s.checkUel = true;
  return s;
}

// The info query, and without its text the reset with reply: a failed reply
// ends silently; the closing PJL_UEL must go out whole.
AclExchangePlan InfoPlan(bool text) {
  AclExchangePlan s{};
  s.uel = LoggedFailure(AclPlain(L"Could not send PJL_UEL to the socket..."));
  s.enterLang = LoggedFailure(AclPlain(L"Could not send PJL_ENTERLANG to the socket..."));
  s.command = {AclEnds(AclPlain(L"Could not send acl cmd to the socket...")),
               AclEnds(AclPlain(L"bytes sent != sizeof aclCmd"))};
  s.beforeReply = L"GetNtwkFWBuildInfo(): Getting Build info ...";
  s.reply = {1, 0, 0};
  if (text) s.replyRead.failed = AclEnds(AclPlain(L"Failed to get Firmware Version..."));
  s.text = text ? ACL_TEXT_ONE_READ : ACL_TEXT_NONE;
  s.textSkip = 1;
  s.closing = ACL_CLOSE_AFTER_REPLY;
  return s;
}

AclExchangePlan NvramPlan() {
  AclExchangePlan s{};
  s.command = s.data = AclSame(AclEnds({}, true));
  s.closing = ACL_CLOSE_AFTER_DATA;
  s.pauseMs = NTWK_NVRAM_PAUSE_MS;
  s.reply = {1, 0, 0};
  s.replyRead.fellShort = AclEnds({}, true);
  s.checkUel = true;
  return s;
}

AclExchangePlan ResetNoReplyPlan() {
  AclExchangePlan s{};
  s.uel = AclSame(AclEnds({ACL_LOG_ERROR_CODE, L"Could not send PJL_UEL to the socket (gle=%d)"}));
  s.enterLang = AclSame(AclEnds({ACL_LOG_ERROR_CODE, L"Could not send PJL_ENTERLANG to the socket (gle=%d)"}));
  s.command = AclEndsWith(L"Could not send acl cmd to the socket...\r\n");
  return s;
}

const SetupMsgs kResetSetup = {SocketError(L"Failed to create socket"),
                               AclPlain(L"setsockopt failed"),
                               {ACL_LOG_SUBJECT, L"Could not connect to the socket... IP=%ls"},
                               true};

int NtwkResetCore(const wchar_t* address, uint16_t port) {
  Logger::Instance()->Write(L"Reset()");
  AclCommand command;
  FillAclCommand(&command, ACLCMD_RESET);
  AclExchangeResult r;
  RunOnConnection(address, port, NtwkActiveSettings().receiveTimeoutMs, kResetSetup, InfoPlan(false), command, nullptr,
                  0, &r);
  return r.finished && r.ok ? 1 : 0;
}

}  // namespace

const NtwkSettings& NtwkActiveSettings() {
  const NtwkSettings* settings = g_settingsOverride.load();
  return settings ? *settings : ProductSettings();
}

const NtwkSettings* SetNtwkSettingsForTesting(const NtwkSettings* settings) {
  return g_settingsOverride.exchange(settings);
}

int CFWDownloadNtwk::CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                                          const wchar_t* address, const wchar_t* fileName) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::CheckFirmwareVersion");
  return ::CheckFirmwareVersion(
      productId, familyId, info, fileName,
      [this, address](FirmwareFileInfo* fileInfo, std::string* text) { return GetFWVersion(fileInfo, address, text); });
}

int CFWDownloadNtwk::DownLoadFirmware(FirmwareFileInfo* info, const wchar_t* address, const wchar_t* fileName,
                                      const wchar_t* productId, const wchar_t* familyId, const FirmwareImage* image) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::DownLoadFirmware");
  return DownloadWithChosenBurn(info, fileName, image, [&](const AclBurnSource& source, AclBurnChoice choice) {
    if (choice.kind == ACL_BURN_SPI) return BurnSpiFlash(source, address);
    if (choice.kind == ACL_BURN_NAND) {
      return BurnNandFlash(address, source, choice.imageType, productId, familyId, info);
    }
    return BurnFlash(source, address, choice.imageType);
  });
}

uint32_t CFWDownloadNtwk::GetFWVersion(FirmwareFileInfo* info, const wchar_t* address, std::string* componentText) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadNtwk::GetFWVersion(%ls)", address);
  const bool nand = info && info->fileType == BINTYPE_NAND_PKG;
  AclCommand command;
  FillAclCommand(&command, nand ? ACLCMD_GET_COMP_VERSION : ACLCMD_GET_VERSION);
  AclExchangeResult r;
  RunOnConnection(address, m_port, NtwkActiveSettings().receiveTimeoutMs,
                  {SocketError(L"Failed to create socket"), AclPlain(L"Failed to connect to socket"),
                   AclPlain(L"Could not connect to the socket..."), true},
                  VersionPlan(nand), command, nullptr, 0, &r);
  if (!r.finished) return 0;
  if (nand && componentText) componentText->assign(r.text, r.textLength);
  // A rejected query is not an answer with component versions.
  uint32_t version = !r.ok ? 0 : nand ? 9999 : AclVersionFromResponse(r.response);
  log->Write(L"Retrieved version %d from firmware", static_cast<int>(version));
  return version;
}

namespace {

int NtwkImageBurn(const AclBurnSource& source, const wchar_t* address, uint16_t port, bool spi, uint16_t imageType,
                  const AclProgress* progress) {
  AclBurnImage image;
  if (!source.Read(spi ? ACL_SPI_TRAILER_SIZE : 0, nullptr, SocketError(L"ReadFile failed"), &image)) return 0;
  uint32_t sum = AclChecksum(image.data, image.size);
  uint8_t trailer[ACL_SPI_TRAILER_SIZE];
  AclCommand command;
  if (spi) {
    WriteSpiTrailer(sum, trailer);
    FillWriteSpiMemCommand(&command, image.size + static_cast<uint32_t>(ACL_SPI_TRAILER_SIZE));
  } else {
    FillBurnFlashCommand(&command, imageType, static_cast<uint16_t>(sum & 0xFFFFu), image.size);
  }

  AclExchangeResult r;
  RunOnConnection(address, port, NtwkActiveSettings().receiveTimeoutMs,
                  {SocketError(L"Failed to create socket"), AclPlain(L"Failed to configure socket"),
                   AclPlain(L"Failed to connect to socket"), true},
                  ImageBurnPlan(spi), command, image.data, image.size, &r, true, progress, spi ? trailer : nullptr,
                  spi ? static_cast<uint32_t>(ACL_SPI_TRAILER_SIZE) : 0);
  return r.finished && r.ok ? 1 : 0;
}

}  // namespace

int CFWDownloadNtwk::BurnFlash(const AclBurnSource& source, const wchar_t* address, uint16_t imageType) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::BurnFlash(%ls)", address);
  return NtwkImageBurn(source, address, m_port, false, imageType, m_progress);
}

int CFWDownloadNtwk::BurnSpiFlash(const AclBurnSource& source, const wchar_t* address) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::BurnSpiFlash(%ls)", address);
  return NtwkImageBurn(source, address, m_port, true, 0, m_progress);
}

int CFWDownloadNtwk::BurnNandFlash(const wchar_t* address, const AclBurnSource& source, uint16_t imageType,
                                   const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::BurnNandFlash");
  AclBurnImage image;
  if (!source.Read(0, nullptr, {ACL_LOG_ERROR, L"Read bin file failed"}, &image)) return 0;
  AclNandBurn nand;
  if (!nand.Prepare(image.data, image.size, imageType)) return 0;

  NtwkConnection conn(address, m_port);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs,
                 {SocketError(L"Failed to create socket"), AclPlain(L"Failed to set socket options"), AclLog(), false},
                 L"socket")) {
    return 0;
  }
  // An interrupt is taken until the first package's data is out: nothing was
  // burned then. From there on the printer burns each package it took whole
  // and only the closing reset completes the set, so the burn runs to its end.
  bool firstOut = false;
  AclProgress follow;
  if (m_progress) {
    follow = *m_progress;
    follow.sent = [this, &firstOut](uint32_t sent, uint32_t total) {
      firstOut = firstOut || sent == total;
      if (m_progress->sent) m_progress->sent(sent, total);
    };
    if (m_progress->stopped) follow.stopped = [this, &firstOut] { return !firstOut && m_progress->stopped(); };
  }
  conn.FollowStop(m_progress ? &follow : nullptr);
  static const std::vector<ComponentVersion> kNoComponents;
  const AclExchangePlan plan = NandPackagePlan();
  auto sendPackage = [&](const NandPackage& package, const AclCommand& command) -> int {
    AclExchangeResult r;
    AclLink link = conn.Link();
    link.progress = m_progress ? &follow : nullptr;
    RunAclExchange(link, plan, command, package.bytes, package.size, &r);
    return r.finished && r.ok ? 1 : 0;
  };
  if (!nand.Run(productId, familyId, info ? info->components : kNoComponents,
                L"--NAND package up to date, Do not burn.", sendPackage)) {
    return 0;
  }
  if (nand.Burned() == 0) return ACL_BURN_NOTHING_WRITTEN;
  // The packages were sent without a restart; the reset runs on its own
  // connection and its answer does not change the outcome.
  NtwkResetCore(address, m_port);
  return 1;
}

int CFWDownloadNtwk::GetNtwkBuildInfo(const wchar_t* address, char* text, uint16_t cmdID) {
  Logger::Instance()->Write(L"GetNtwkBuildInfo(%ls)", address);
  AclCommand command;
  FillAclCommand(&command, cmdID);
  AclExchangeResult r;
  RunOnConnection(address, m_port, NtwkActiveSettings().receiveTimeoutMs,
                  {AclPlain(L"ConnectSocket failed"), AclPlain(L"setsockopt failed"), kResetSetup.connect, true},
                  InfoPlan(true), command, nullptr, 0, &r);
  // The text reaches the caller even when the closing PJL_UEL then fails.
  if (text && (r.finished || r.firstFailure == ACL_STAGE_CLOSING)) CopyText(text, ACL_TEXT_BUFFER_SIZE, r.text);
  return r.finished && r.ok ? 1 : 0;
}

int CFWDownloadNtwk::Reset(const wchar_t* address) {
  return NtwkResetCore(address, m_port);
}

int CFWDownloadNtwk::FixNvRam(const wchar_t* address) {
  uint8_t block[NVRAM_IDENTITY_BLOCK_SIZE];
  BuildNvramIdentityBlock(1, block);
  AclCommand command;
  FillWriteNvramCommand(&command);
  AclExchangeResult r;
  RunOnConnection(address, m_port, NtwkActiveSettings().receiveTimeoutMs, {}, NvramPlan(), command, block, sizeof block,
                  &r);
  return r.finished && r.ok ? 1 : 0;
}

int CFWDownloadNtwk::ResetNtwkPrinter(const wchar_t* address) {
  Logger::Instance()->Write(L"ResetNtwkPrinter()");
  AclCommand command;
  FillAclCommand(&command, ACLCMD_RESET);
  AclExchangeResult r;
  RunOnConnection(address, m_port, NtwkActiveSettings().resetTimeoutMs,
                  {{ACL_LOG_ERROR_CODE, L"socket() failed (gle=%d)"},
                   {ACL_LOG_ERROR_CODE, L"setsockopt failed (gle=%d)"},
                   {ACL_LOG_ERROR_CODE, L"Could not connect to the socket (gle=%d)"},
                   true},
                  ResetNoReplyPlan(), command, nullptr, 0, &r);
  return r.finished;
}
