// SChannel as Windows answers, on the paths that Wine's SChannel never
// takes. This goes through a seam: the TLS engine reaches SSPI only through
// the function table of secur32.dll (platform/sspi_win.h), and the table here
// hands every call on to Wine's real SChannel, talking to nginx, but changes
// a few answers into the ones Windows gives:
//  - SEC_I_INCOMPLETE_CREDENTIALS from InitializeSecurityContext once the
//    server's hello has come, as Windows answers a server that asks for a
//    client certificate. Wine's SChannel goes on with an empty certificate
//    on its own and never says so.
//  - SEC_I_RENEGOTIATE from DecryptMessage, with the bytes that follow as
//    extra data, as Windows 11 answers a TLS 1.3 session ticket after the
//    handshake; the connection is reported as TLS 1.3, which Wine 8 does not
//    offer.
//  - SEC_E_INCOMPLETE_MESSAGE from InitializeSecurityContext while the test
//    holds that message back, as Windows answers a message that has come
//    only in part; and SEC_E_CONTEXT_EXPIRED from DecryptMessage while the
//    message is still pending, as Windows answers a context that expects
//    InitializeSecurityContext.
// What must hold is what a user sees: the package arrives byte for byte.
#include <windows.h>

#include "platform/sspi_win.h"
// SP_PROT_TLS1_3_CLIENT and the connection's details.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>

#include <string>

#include "platform/tcp_connection.h"
#include "platform/tls_connection.h"
#include "tests/transfer/http/peers_fixture.h"

namespace zephora {
namespace {

// What the table changes and what it saw. The SSPI functions carry no
// context of their own, so the state is the test's, one test at a time.
struct Injection {
  bool incompleteCredentials = false;  // answered once, after the server's hello
  bool incompleteCredentialsAlways = false;
  bool renegotiate = false;  // answered once, at the first record after the handshake
  bool reportTls13 = false;

  int incompleteAnswered = 0;
  std::string inputWhenAnswered;
  ULONG requestAfterwards = 0;
  std::string inputAfterwards;
  int renegotiateAnswered = 0;
  std::string extraAfterTicket;
  std::string inputAfterTicket;
  bool ticketPending = false;
  bool holdTicket = false;  // the message after the handshake is incomplete meanwhile
  int ticketIncomplete = 0;
  int decryptWhilePending = 0;
};
Injection gInjection;
const SecurityFunctionTableW* gSystem = nullptr;

std::string Bytes(const SecBuffer& buffer) {
  return std::string(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
}

SECURITY_STATUS SEC_ENTRY InitializeAsWindows(PCredHandle credentials, PCtxtHandle context,
                                              SEC_WCHAR* target, ULONG request, ULONG reserved1,
                                              ULONG representation, PSecBufferDesc input,
                                              ULONG reserved2, PCtxtHandle newContext,
                                              PSecBufferDesc output, PULONG attributes,
                                              PTimeStamp expiry) {
  Injection& s = gInjection;
  const bool hasInput = context != nullptr && input != nullptr && input->pBuffers[0].cbBuffer > 0;
  if (s.ticketPending && s.holdTicket && context != nullptr) {
    // Nothing taken: the rest of the message has not come.
    ++s.ticketIncomplete;
    return SEC_E_INCOMPLETE_MESSAGE;
  }
  if (s.ticketPending && hasInput) {
    // After a session ticket, Windows takes the bytes that followed it and
    // hands back as extra what is no handshake: here all of them, records
    // of the reply.
    s.ticketPending = false;
    s.inputAfterTicket = Bytes(input->pBuffers[0]);
    input->pBuffers[1] = {input->pBuffers[0].cbBuffer, SECBUFFER_EXTRA, nullptr};
    *attributes = request;
    return SEC_E_OK;
  }
  if (hasInput &&
      (s.incompleteCredentialsAlways || (s.incompleteCredentials && s.incompleteAnswered == 0))) {
    // Nothing taken from the input, nothing to send.
    ++s.incompleteAnswered;
    s.inputWhenAnswered = Bytes(input->pBuffers[0]);
    return SEC_I_INCOMPLETE_CREDENTIALS;
  }
  if (s.incompleteAnswered == 1 && s.inputAfterwards.empty() && hasInput) {
    s.requestAfterwards = request;
    s.inputAfterwards = Bytes(input->pBuffers[0]);
  }
  return gSystem->InitializeSecurityContextW(credentials, context, target, request, reserved1,
                                             representation, input, reserved2, newContext, output,
                                             attributes, expiry);
}

SECURITY_STATUS SEC_ENTRY DecryptAsWindows(PCtxtHandle context, PSecBufferDesc message,
                                           ULONG sequence, PULONG quality) {
  Injection& s = gInjection;
  if (s.ticketPending) {
    ++s.decryptWhilePending;
    return SEC_E_CONTEXT_EXPIRED;
  }
  if (s.renegotiate && s.renegotiateAnswered == 0) {
    ++s.renegotiateAnswered;
    // As if a session ticket came first: no data, and every byte given is
    // the extra after it.
    SecBuffer* buffers = message->pBuffers;
    void* start = buffers[0].pvBuffer;
    const ULONG size = buffers[0].cbBuffer;
    s.extraAfterTicket = Bytes(buffers[0]);
    buffers[0] = {0, SECBUFFER_STREAM_HEADER, start};
    buffers[1] = {0, SECBUFFER_DATA, start};
    buffers[2] = {0, SECBUFFER_STREAM_TRAILER, start};
    buffers[3] = {size, SECBUFFER_EXTRA, start};
    s.ticketPending = true;
    return SEC_I_RENEGOTIATE;
  }
  return gSystem->DecryptMessage(context, message, sequence, quality);
}

SECURITY_STATUS SEC_ENTRY QueryAsWindows(PCtxtHandle context, ULONG attribute, void* buffer) {
  const SECURITY_STATUS status = gSystem->QueryContextAttributesW(context, attribute, buffer);
  if (status == SEC_E_OK && attribute == SECPKG_ATTR_CONNECTION_INFO && gInjection.reportTls13)
    static_cast<SecPkgContext_ConnectionInfo*>(buffer)->dwProtocol = SP_PROT_TLS1_3_CLIENT;
  return status;
}

class SChannelAsWindows : public test::PeersTest {
 protected:
  void SetUp() override {
    test::PeersTest::SetUp();
    HRESULT error = S_OK;
    gSystem = SystemSspiFunctions(error);
    ASSERT_NE(gSystem, nullptr) << std::hex << error;
    gInjection = Injection{};
    table_ = *gSystem;
    table_.InitializeSecurityContextW = &InitializeAsWindows;
    table_.DecryptMessage = &DecryptAsWindows;
    table_.QueryContextAttributesW = &QueryAsWindows;
    UseSspiFunctions(&table_);
    client.CaFile = CaFile();
  }
  void TearDown() override {
    client.Disconnect();
    UseSspiFunctions(nullptr);
  }

  SecurityFunctionTableW table_{};
};

TEST_F(SChannelAsWindows, AServerAskingForAClientCertificateGetsTheHandshakeWithoutOne) {
  gInjection.incompleteCredentials = true;
  FetchBothPackagesOverOneConnection(SecureFiles(tls.asksClient));
  EXPECT_EQ(gInjection.incompleteAnswered, 1);
  // Asked again on the same input, telling SChannel to find no certificate
  // of its own, as Schannel's documentation describes.
  EXPECT_NE(gInjection.requestAfterwards & ISC_REQ_USE_SUPPLIED_CREDS, 0u);
  EXPECT_FALSE(gInjection.inputWhenAnswered.empty());
  EXPECT_TRUE(gInjection.inputAfterwards == gInjection.inputWhenAnswered);
}

// SEC_I_INCOMPLETE_CREDENTIALS once more, after the engine has said that it
// has no certificate, would go round for ever.
TEST_F(SChannelAsWindows, IncompleteCredentialsAgainFailTheHandshake) {
  gInjection.incompleteCredentialsAlways = true;
  EXPECT_EQ(Download(SecureUrl(tls.asksClient), dir / "upgrade.zip"),
            u"The TLS handshake with the server failed. (0x00090320)");
  EXPECT_EQ(gInjection.incompleteAnswered, 2);
  EXPECT_FALSE(client.Connected());
}

TEST_F(SChannelAsWindows, ASessionTicketAfterATls13HandshakeLeavesTheDataWhole) {
  gInjection.renegotiate = true;
  gInjection.reportTls13 = true;
  FetchBothPackagesOverOneConnection(SecureFiles(tls.good));
  EXPECT_EQ(gInjection.renegotiateAnswered, 1);
  // The bytes after the ticket went to InitializeSecurityContext, and from
  // there back to DecryptMessage.
  EXPECT_FALSE(gInjection.extraAfterTicket.empty());
  EXPECT_TRUE(gInjection.inputAfterTicket == gInjection.extraAfterTicket);
  EXPECT_FALSE(gInjection.ticketPending);
}

// PeerClosed() before a connection is reused reads with a deadline: it can
// stop while the message after the handshake has come only in part.
class CutByADeadline : public SChannelAsWindows {
 protected:
  // Asks for upgrade.zip and looks whether the server closed once the
  // reply's first records are there; the look stops in the middle of the
  // message, which then comes in full.
  void CutTheMessageAfterTheHandshake() {
    gInjection.renegotiate = true;
    gInjection.reportTls13 = true;
    gInjection.holdTicket = true;
    ASSERT_EQ(tcp.Connect("localhost", static_cast<std::uint16_t>(tls.good)), 0);
    ASSERT_EQ(session.Handshake("localhost", TlsOptions{CaFile()}), 0);
    ASSERT_EQ(session.Send(kRequest.data(), kRequest.size()), 0);
    bool ready = false;
    ASSERT_EQ(tcp.WaitReadable(30000, ready), 0);
    ASSERT_TRUE(ready);
    EXPECT_FALSE(session.PeerClosed());
    EXPECT_EQ(gInjection.renegotiateAnswered, 1);
    EXPECT_GE(gInjection.ticketIncomplete, 1);
    EXPECT_TRUE(gInjection.ticketPending);
    gInjection.holdTicket = false;
  }
  // Reads the first reply and checks that the package arrived whole.
  void ExpectThePackage() {
    std::string reply;
    const std::string& served = Served("upgrade.zip");
    for (;;) {
      const std::size_t headEnd = reply.find("\r\n\r\n");
      if (headEnd != std::string::npos && reply.size() - headEnd - 4 >= served.size())
        break;
      char chunk[16384];
      std::size_t done = 0;
      ASSERT_EQ(session.Receive(chunk, sizeof chunk, done), 0);
      ASSERT_GT(done, 0u);
      reply.append(chunk, done);
    }
    EXPECT_EQ(gInjection.decryptWhilePending, 0);
    EXPECT_FALSE(gInjection.ticketPending);
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(reply.substr(reply.find("\r\n\r\n") + 4, served.size()) == served);
  }
  void TearDown() override {
    session.Close();
    SChannelAsWindows::TearDown();
  }

  const std::string kRequest = "GET /zephora/Files/upgrade.zip HTTP/1.1\r\nHost: localhost\r\n\r\n";
  TcpConnection tcp;
  TlsConnection session{tcp};
};

// The next read resumes the exchange before it decrypts anything.
TEST_F(CutByADeadline, TheNextReadResumesTheExchangeFirst) {
  CutTheMessageAfterTheHandshake();
  ExpectThePackage();
}

// So does the next request, as when the connection is reused.
TEST_F(CutByADeadline, TheNextRequestResumesTheExchangeFirst) {
  CutTheMessageAfterTheHandshake();
  ASSERT_EQ(session.Send(kRequest.data(), kRequest.size()), 0);
  EXPECT_FALSE(gInjection.ticketPending);
  ExpectThePackage();
}

// Under TLS 1.2 the same answer is a renegotiation, which could bring another
// certificate in the middle of a download.
TEST_F(SChannelAsWindows, ARenegotiationUnderTls12IsRefused) {
  gInjection.renegotiate = true;
  EXPECT_EQ(Download(SecureUrl(tls.good), dir / "upgrade.zip"),
            u"The secure connection was cut off. (0x00090321)");
  EXPECT_EQ(gInjection.renegotiateAnswered, 1);
  EXPECT_TRUE(gInjection.inputAfterTicket.empty());
}

}  // namespace
}  // namespace zephora
