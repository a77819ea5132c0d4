#include "transport/ntwk_download.h"

#include <cstring>
#include <new>

#include "firmware/versions.h"
#include "host/clock.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "printer/product_name.h"
#include "transport/acl_checksum.h"
#include "transport/acl_nand_burn.h"

namespace {

// The network family's records; operations never overlap (one worker thread).
AclCommand g_aclCmd;
AclResponse g_aclResponse;

const NtwkSettings& ProductSettings() {
  static const NtwkSettings settings;
  return settings;
}
const NtwkSettings* g_settingsOverride = nullptr;

// How a failure line is written.
enum MsgForm {
  MSG_NONE,          // nothing is logged
  MSG_PLAIN,         // the text as it stands
  MSG_SOCKET_ERROR,  // the logger's error form with the last socket error
  MSG_GLE,           // the text formats the last socket error itself (%d)
  MSG_ADDRESS,       // the text formats the printer address (%ls)
};
struct Msg {
  MsgForm form;
  const wchar_t* text;
};

void LogMsg(const Msg& msg, uint32_t socketError, const wchar_t* address) {
  Logger* log = Logger::Instance();
  switch (msg.form) {
    case MSG_NONE: break;
    case MSG_PLAIN: log->Write(L"%ls", msg.text); break;
    case MSG_SOCKET_ERROR: log->WriteError(socketError, L"%ls", msg.text); break;
    case MSG_GLE: log->Write(msg.text, static_cast<int>(socketError)); break;
    case MSG_ADDRESS: log->Write(msg.text, address); break;
  }
}

struct SetupMsgs {
  Msg create;
  Msg timeout;
  Msg connect;
  bool connectTested;
};

// One operation's socket: set up afresh, closed and the library released on
// every path once it was started.
class NtwkConnection {
 public:
  explicit NtwkConnection(const wchar_t* address) : m_address(address) {
    const NtwkSettings& s = NtwkActiveSettings();
    m_channel = s.channelFactory ? s.channelFactory() : CreateSystemTcpChannel();
  }
  ~NtwkConnection() {
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
      LogMsg(msgs.create, m_channel->LastError(), m_address);
      return 0;
    }
    m_created = true;
    if (!m_channel->SetReceiveTimeout(receiveTimeoutMs)) {
      LogMsg(msgs.timeout, m_channel->LastError(), m_address);
      return 0;
    }
    int connected = 0;
    char narrow[NTWK_ADDRESS_MAX];
    uint8_t ip[4];
    // A text that is not a dotted IPv4 address never reaches connect and fails
    // like an unreachable printer.
    if (ToUtf8(m_address ? m_address : L"", narrow, sizeof narrow) != TEXT_ERROR_BAD_LENGTH &&
        ParseDottedIPv4(narrow, ip)) {
      connected = m_channel->Connect(ip, NtwkActiveSettings().port);
    }
    if (!connected && msgs.connectTested) {
      LogMsg(msgs.connect, m_channel->LastError(), m_address);
      return 0;
    }
    return 1;
  }

  // 1 when the whole buffer went out in one send; otherwise logs `msg` (on a
  // failed send, and on a short one when `logShort`) and returns 0.
  int SendAll(const uint8_t* data, size_t length, const Msg& msg, bool logShort = true) {
    int64_t sent = m_channel->Send(data, length);
    if (sent == static_cast<int64_t>(length)) return 1;
    if (sent < 0 || logShort) LogMsg(msg, sent < 0 ? m_channel->LastError() : 0, m_address);
    return 0;
  }
  int64_t Send(const uint8_t* data, size_t length) { return m_channel->Send(data, length); }
  int SendUel() { return m_channel->Send(PJL_UEL, PJL_UEL_LEN) == static_cast<int64_t>(PJL_UEL_LEN) ? 1 : 0; }

  // One receive of the 16-byte response into the cleared g_aclResponse.
  int64_t ReceiveResponse() {
    g_aclResponse.Clear();
    return m_channel->Receive(g_aclResponse.bytes, ACL_RECORD_SIZE);
  }
  int64_t Receive(uint8_t* buffer, size_t length) { return m_channel->Receive(buffer, length); }
  int SetReceiveTimeout(uint32_t ms) { return m_channel->SetReceiveTimeout(ms); }
  uint32_t LastError() { return m_channel->LastError(); }

 private:
  const wchar_t* m_address;
  std::unique_ptr<TcpChannel> m_channel;
  bool m_started = false;
  bool m_created = false;
};

// The whole file in one buffer of its size plus `extra` bytes. File sizes
// beyond 32 bits cannot be described by the burn commands and are refused as
// a failed read.
struct FileImage {
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
};

int ReadWholeFile(FILE* file, size_t extra, FileImage* out) {
  Logger* log = Logger::Instance();
  uint64_t size = 0;
  bool sized = file && SeekFile64(file, 0, SEEK_END) == 0;
  if (sized) {
    int64_t end = TellFile64(file);
    sized = end >= 0 && SeekFile64(file, 0, SEEK_SET) == 0;
    size = sized ? static_cast<uint64_t>(end) : 0;
  }
  if (sized && size + extra > 0xFFFFFFFFull) sized = false;
  if (!sized) {
    log->WriteError(file ? LastSystemError() : 0, L"ReadFile failed");
    return 0;
  }
  out->data.reset(new (std::nothrow) uint8_t[size + extra > 0 ? size + extra : 1]);
  if (!out->data) {
    log->Write(L"Failed ot malloc memory");
    return 0;
  }
  out->size = static_cast<uint32_t>(size);
  size_t got = size > 0 ? fread(out->data.get(), 1, size, file) : 0;
  if (got != size) {
    log->WriteError(LastSystemError(), L"ReadFile failed");
    return 0;
  }
  return 1;
}

uint32_t BurnPauseMs() { return ProductIs(PRODUCT_TALEN) ? ACL_TALEN_BURN_PAUSE_MS : NTWK_BURN_PAUSE_MS; }

int NtwkResetCore(const wchar_t* address);

}  // namespace

const NtwkSettings& NtwkActiveSettings() { return g_settingsOverride ? *g_settingsOverride : ProductSettings(); }

const NtwkSettings* SetNtwkSettingsForTesting(const NtwkSettings* settings) {
  const NtwkSettings* previous = g_settingsOverride;
  g_settingsOverride = settings;
  return previous;
}

int CFWDownloadNtwk::CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                                          const wchar_t* address, const wchar_t* fileName) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::CheckFirmwareVersion");
  return ::CheckFirmwareVersion(productId, familyId, info, fileName,
                                [this, address](FirmwareFileInfo* fileInfo, std::string* text) {
                                  return GetFWVersion(fileInfo, address, text);
                                });
}

int CFWDownloadNtwk::DownLoadFirmware(FirmwareFileInfo* info, const wchar_t* address, const wchar_t* fileName,
                                      const wchar_t* productId, const wchar_t* familyId) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadNtwk::DownLoadFirmware");
  wchar_t path[260];
  CopyText(path, 260, fileName ? fileName : L"");
  int32_t fileType = 0;
  GetBinFileVersion(info, &fileType, path);
  SetFileAttributesNormal(path);
  FILE* file = OpenFileWide(path, "rb");
  if (!file) {
    log->WriteError(LastSystemError(), L"Failed to Open fw bin file");
    return -1;
  }
  AclBurnChoice choice = ChooseAclBurn(fileType);
  int ok;
  if (choice.kind == ACL_BURN_SPI) {
    ok = BurnSpiFlash(file, address);
  } else if (choice.kind == ACL_BURN_NAND) {
    ok = BurnNandFlash(address, file, choice.imageType, productId, familyId, info);
  } else {
    ok = BurnFlash(file, address, choice.imageType);
  }
  fclose(file);
  return ok == 1 ? 1 : -1;
}

uint32_t CFWDownloadNtwk::GetFWVersion(FirmwareFileInfo* info, const wchar_t* address, std::string* componentText) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadNtwk::GetFWVersion(%ls)", address);
  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs,
                 {{MSG_SOCKET_ERROR, L"Failed to create socket"},
                  {MSG_PLAIN, L"Failed to connect to socket"},
                  {MSG_PLAIN, L"Could not connect to the socket..."},
                  true})) {
    return 0;
  }

  const bool nand = info && info->fileType == BINTYPE_NAND_PKG;
  const uint16_t cmdID = nand ? ACLCMD_GET_COMP_VERSION : ACLCMD_GET_VERSION;
  if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_SOCKET_ERROR, L"Could not send PJL_UEL to the socket..."}, false) ||
      !conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN,
                    {MSG_SOCKET_ERROR, L"Could not send PJL_ENTERLANG to the socket..."}, false)) {
    return 0;
  }
  FillAclCommand(&g_aclCmd, cmdID);
  if (!conn.SendAll(g_aclCmd.bytes, ACL_RECORD_SIZE, {MSG_SOCKET_ERROR, L"Could not send acl cmd to the socket..."},
                    false)) {
    return 0;
  }

  log->Write(L"GetNtwkPrinterFWVer(): Getting fw version...");
  int64_t got = conn.ReceiveResponse();
  if (got < 0) {
    log->WriteError(conn.LastError(), L"Failed to get Firmware Version...");
    return 0;
  }
  if (got < static_cast<int64_t>(ACL_RECORD_SIZE)) return 0;

  bool failed = false;
  switch (CheckAclResponse(g_aclResponse, cmdID)) {
    case ACL_CHECK_PREFIX:
      log->Write(L"GetFWVersion(): ReadData() ACL_PREFIX Failed.");
      failed = true;
      break;
    case ACL_CHECK_CMDID:
      log->Write(nand ? L"GetFWVersion(): ReadData() ACLCMD_GET_COMP_VERSION Failed."
                      : L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
      failed = true;
      break;
    case ACL_CHECK_STATUS:
      log->Write(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.");
      failed = true;
      break;
    default: break;
  }

  char versionText[ACL_TEXT_BUFFER_SIZE] = {};
  if (nand) {
    log->Write(L"GetFWVersion(): Get package versions.");
    char text[ACL_TEXT_BUFFER_SIZE] = {};
    int64_t n = conn.Receive(reinterpret_cast<uint8_t*>(text), ACL_TEXT_MAX);
    if (n <= 0) return 0;
    if (componentText) componentText->assign(text, static_cast<size_t>(n));
    // A rejected query is not an answer with component versions.
    if (!failed) CopyText(versionText, sizeof versionText, "9999");
  } else {
    log->Write(L"GetFWVersion(): Get Firmware version.");
    if (!failed) std::memcpy(versionText, g_aclResponse.bytes + 6, 8);
  }

  log->Write(L"Successfully received fw version...Now sending end PJL UEL");
  int64_t sent = conn.Send(PJL_UEL, PJL_UEL_LEN);
  if (sent < 0) log->WriteError(conn.LastError(), L"Failed to send PJL_UEL to printer");
  uint32_t version = sent == static_cast<int64_t>(PJL_UEL_LEN) ? AclVersionFromText(versionText) : 0;
  log->Write(L"Retrieved version %d from firmware", static_cast<int>(version));
  return version;
}

namespace {

// The image and SPI burns differ only in command, buffer and the cmdID message.
int NtwkImageBurn(FILE* file, const wchar_t* address, bool spi, uint16_t imageType) {
  Logger* log = Logger::Instance();
  FileImage image;
  if (!ReadWholeFile(file, spi ? ACL_SPI_TRAILER_SIZE : 0, &image)) return 0;

  uint32_t dataLength = image.size;
  uint32_t sum = AclChecksum(image.data.get(), image.size);
  if (spi) {
    WriteSpiTrailer(sum, image.data.get() + image.size);
    dataLength += ACL_SPI_TRAILER_SIZE;
    FillWriteSpiMemCommand(&g_aclCmd, dataLength);
  } else {
    FillBurnFlashCommand(&g_aclCmd, imageType, static_cast<uint16_t>(sum & 0xFFFFu), dataLength);
  }

  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs,
                 {{MSG_SOCKET_ERROR, L"Failed to create socket"},
                  {MSG_PLAIN, L"Failed to configure socket"},
                  {MSG_PLAIN, L"Failed to connect to socket"},
                  true})) {
    return 0;
  }
  if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_PLAIN, L"Could not send PJL_UEL to the socket."}) ||
      !conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN, {MSG_PLAIN, L"Could not send PJL_ENTERLANG to the socket."}) ||
      !conn.SendAll(g_aclCmd.bytes, ACL_RECORD_SIZE, {MSG_PLAIN, L"Could not send acl cmd to the socket."}) ||
      !conn.SendAll(image.data.get(), dataLength, {MSG_PLAIN, L"Could not send bin file to the socket."})) {
    return 0;
  }
  // The image is no longer needed while the printer programs its flash.
  image.data.reset();

  SleepMs(BurnPauseMs());
  if (!conn.SetReceiveTimeout(NtwkActiveSettings().burnReplyTimeoutMs)) {
    log->WriteError(conn.LastError(), L"Failed to configure socket");
    return 0;
  }
  int64_t got = conn.ReceiveResponse();
  if (got < 0) {
    log->Write(L"Could not recv acl response from the socket.");
    return 0;
  }
  if (got < static_cast<int64_t>(ACL_RECORD_SIZE)) {
    log->Write(L"Failed to receive the correct amount of data from Network.");
    return 0;
  }
  switch (CheckAclResponse(g_aclResponse, spi ? ACLCMD_WRITE_SPIMEM : ACLCMD_BURN_FLASH)) {
    case ACL_CHECK_PREFIX: log->Write(L"GetFWVersion(): ReadData() ACL_PREFIX Failed."); return 0;
    case ACL_CHECK_CMDID:
      log->Write(spi ? L"GetFWVersion(): ReadData() ACLCMD_WRITE_SPIMEM Failed."
                     : L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
      return 0;
    case ACL_CHECK_STATUS: log->Write(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."); return 0;
    default: return 1;
  }
}

}  // namespace

int CFWDownloadNtwk::BurnFlash(FILE* file, const wchar_t* address, uint16_t imageType) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::BurnFlash(%ls)", address);
  return NtwkImageBurn(file, address, false, imageType);
}

int CFWDownloadNtwk::BurnSpiFlash(FILE* file, const wchar_t* address) {
  Logger::Instance()->Write(L"CFWDownloadNtwk::BurnSpiFlash(%ls)", address);
  return NtwkImageBurn(file, address, true, 0);
}

int CFWDownloadNtwk::BurnNandFlash(const wchar_t* address, FILE* file, uint16_t imageType, const wchar_t* productId,
                                   const wchar_t* familyId, FirmwareFileInfo* info) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadNtwk::BurnNandFlash");
  FirmwareFileBuffer buffer;
  if (!file || !buffer.ReadAll(file)) return 0;
  AclNandBurn nand;
  if (!nand.Prepare(buffer.MutableData(), buffer.Size(), imageType)) return 0;

  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs,
                 {{MSG_SOCKET_ERROR, L"Failed to create socket"},
                  {MSG_PLAIN, L"Failed to set socket options"},
                  {MSG_NONE, nullptr},
                  false},
                 L"socket")) {
    return 0;
  }

  static const std::vector<ComponentVersion> kNoComponents;
  auto sendPackage = [&](const NandPackage& package, const AclCommand& command) -> int {
    log->Write(L"Sending the PJL command for Bin File Downloading...");
    if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_PLAIN, L"Could not send PJL_UEL to the socket..."}) ||
        !conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN, {MSG_PLAIN, L"Could not send PJL_ENTERLANG to the socket..."})) {
      return 0;
    }
    g_aclCmd = command;
    if (conn.Send(g_aclCmd.bytes, ACL_RECORD_SIZE) != static_cast<int64_t>(ACL_RECORD_SIZE)) {
      conn.SendUel();
      log->Write(L"Could not send acl cmd to the socket...");
      return 0;
    }
    if (conn.Send(package.bytes, package.size) != static_cast<int64_t>(package.size)) {
      conn.SendUel();
      log->Write(L"Could not send bin file to the socket...");
      return 0;
    }
    SleepMs(NTWK_BURN_PAUSE_MS);
    log->Write(L"Bin file downloaded successfully...Getting the response");
    int64_t got = conn.ReceiveResponse();
    if (got < 0) {
      log->Write(L"Could not recv acl response from the socket...");
      return 0;
    }
    if (got < static_cast<int64_t>(ACL_RECORD_SIZE)) {
      conn.SendUel();
      log->Write(L"Failed to receive data from Network.");
      return 0;
    }
    const wchar_t* failure = nullptr;
    switch (CheckAclResponse(g_aclResponse, ACLCMD_BURN_FLASH)) {
      case ACL_CHECK_PREFIX: failure = L"Failed to receive correct ACL_PREFIX from Network."; break;
      case ACL_CHECK_CMDID: failure = L"Failed to receive correct ACLCMD_BURN_FLASH from Network."; break;
      case ACL_CHECK_STATUS: failure = L"Failed to receive correct ACLCMD_STATUS_SUCCESS from Network."; break;
      default: return 1;
    }
    conn.SendUel();
    log->Write(L"%ls", failure);
    return 0;
  };
  if (!nand.Run(productId, familyId, info ? info->components : kNoComponents,
                L"--NAND package up to date, Do not burn.", sendPackage)) {
    return 0;
  }
  // The packages were sent without a restart; the reset runs on its own
  // connection and its answer does not change the outcome.
  if (nand.Burned() > 0) NtwkResetCore(address);
  return 1;
}

int CFWDownloadNtwk::GetNtwkBuildInfo(const wchar_t* address, char* text, uint16_t cmdID) {
  Logger* log = Logger::Instance();
  log->Write(L"GetNtwkBuildInfo(%ls)", address);
  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs,
                 {{MSG_PLAIN, L"ConnectSocket failed"},
                  {MSG_PLAIN, L"setsockopt failed"},
                  {MSG_ADDRESS, L"Could not connect to the socket... IP=%ls"},
                  true})) {
    return 0;
  }
  if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_PLAIN, L"Could not send PJL_UEL to the socket..."}, false) ||
      !conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN, {MSG_PLAIN, L"Could not send PJL_ENTERLANG to the socket..."},
                    false)) {
    return 0;
  }
  FillAclCommand(&g_aclCmd, cmdID);
  int64_t sent = conn.Send(g_aclCmd.bytes, ACL_RECORD_SIZE);
  if (sent != static_cast<int64_t>(ACL_RECORD_SIZE)) {
    log->Write(sent < 0 ? L"Could not send acl cmd to the socket..." : L"bytes sent != sizeof aclCmd");
    return 0;
  }
  log->Write(L"GetNtwkFWBuildInfo(): Getting Build info ...");
  int64_t got = conn.ReceiveResponse();
  if (got < 0) {
    log->Write(L"Failed to get Firmware Version...");
    return 0;
  }
  if (got < static_cast<int64_t>(ACL_RECORD_SIZE) || CheckAclResponse(g_aclResponse, cmdID) != ACL_CHECK_OK) return 0;

  char received[ACL_TEXT_BUFFER_SIZE] = {};
  int64_t n = conn.Receive(reinterpret_cast<uint8_t*>(received), ACL_TEXT_MAX);
  if (n <= 0) return 0;
  if (text) CopyText(text, ACL_TEXT_BUFFER_SIZE, received + 1);
  return conn.SendUel();
}

namespace {

int NtwkResetCore(const wchar_t* address) {
  Logger* log = Logger::Instance();
  log->Write(L"Reset()");
  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs,
                 {{MSG_SOCKET_ERROR, L"Failed to create socket"},
                  {MSG_PLAIN, L"setsockopt failed"},
                  {MSG_ADDRESS, L"Could not connect to the socket... IP=%ls"},
                  true})) {
    return 0;
  }
  FillAclCommand(&g_aclCmd, ACLCMD_RESET);
  if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_PLAIN, L"Could not send PJL_UEL to the socket..."}, false) ||
      !conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN, {MSG_PLAIN, L"Could not send PJL_ENTERLANG to the socket..."},
                    false)) {
    return 0;
  }
  int64_t sent = conn.Send(g_aclCmd.bytes, ACL_RECORD_SIZE);
  if (sent != static_cast<int64_t>(ACL_RECORD_SIZE)) {
    log->Write(sent < 0 ? L"Could not send acl cmd to the socket..." : L"bytes sent != sizeof aclCmd");
    return 0;
  }
  log->Write(L"GetNtwkFWBuildInfo(): Getting Build info ...");
  if (conn.ReceiveResponse() != static_cast<int64_t>(ACL_RECORD_SIZE) ||
      CheckAclResponse(g_aclResponse, ACLCMD_RESET) != ACL_CHECK_OK) {
    return 0;
  }
  return conn.SendUel();
}

}  // namespace

int CFWDownloadNtwk::Reset(const wchar_t* address) { return NtwkResetCore(address); }

int CFWDownloadNtwk::FixNvRam(const wchar_t* address) {
  uint8_t block[NVRAM_IDENTITY_BLOCK_SIZE];
  BuildNvramIdentityBlock(1, block);
  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().receiveTimeoutMs, {{MSG_NONE, nullptr}, {MSG_NONE, nullptr}, {MSG_NONE, nullptr},
                                                          false})) {
    return 0;
  }
  if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_NONE, nullptr})) return 0;
  if (!conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN, {MSG_NONE, nullptr})) return 0;
  FillWriteNvramCommand(&g_aclCmd);
  if (!conn.SendAll(g_aclCmd.bytes, ACL_RECORD_SIZE, {MSG_NONE, nullptr}) ||
      !conn.SendAll(block, sizeof block, {MSG_NONE, nullptr})) {
    conn.SendUel();
    return 0;
  }
  if (!conn.SendUel()) return 0;
  SleepMs(NTWK_NVRAM_PAUSE_MS);
  int64_t got = conn.ReceiveResponse();
  if (got < 0) return 0;
  if (got < static_cast<int64_t>(ACL_RECORD_SIZE) || CheckAclResponse(g_aclResponse, ACLCMD_WRITE_NVRAM) != ACL_CHECK_OK) {
    conn.SendUel();
    return 0;
  }
  return 1;
}

int CFWDownloadNtwk::ResetNtwkPrinter(const wchar_t* address) {
  Logger::Instance()->Write(L"ResetNtwkPrinter()");
  NtwkConnection conn(address);
  if (!conn.Open(NtwkActiveSettings().resetTimeoutMs,
                 {{MSG_GLE, L"socket() failed (gle=%d)"},
                  {MSG_GLE, L"setsockopt failed (gle=%d)"},
                  {MSG_GLE, L"Could not connect to the socket (gle=%d)"},
                  true})) {
    return 0;
  }
  FillAclCommand(&g_aclCmd, ACLCMD_RESET);
  if (!conn.SendAll(PJL_UEL, PJL_UEL_LEN, {MSG_GLE, L"Could not send PJL_UEL to the socket (gle=%d)"}) ||
      !conn.SendAll(PJL_ENTERLANG, PJL_ENTERLANG_LEN, {MSG_GLE, L"Could not send PJL_ENTERLANG to the socket (gle=%d)"}) ||
      !conn.SendAll(g_aclCmd.bytes, ACL_RECORD_SIZE, {MSG_PLAIN, L"Could not send acl cmd to the socket...\r\n"})) {
    return 0;
  }
  return 1;
}
