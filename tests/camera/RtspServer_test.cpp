#include "camera/RtspServer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "support/Loopback.h"

namespace vexa::camera {
namespace {

// Over IPv6 the description says so; a dropped connection closes at once and ends its session.
TEST(RtspServer, ServesOverIpv6UntilTheConnectionIsDropped) {
  RtspServer server({.bindAddress = "::1", .width = 160, .height = 120});
  ASSERT_TRUE(server.start()) << server.lastError();
  const Endpoint address = *Endpoint::parse("::1", server.port());
  const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(fd, address.socketAddress(), address.socketAddressLength()), 0);
  test::LoopbackConnection client;
  client.adopt(fd);
  const std::string url = "rtsp://[::1]:" + std::to_string(server.port()) + "/jpeg";
  ASSERT_TRUE(client.send("DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 1\r\n\r\n"));
  const std::string lines = " 1 IN IP6 ::1\r\ns=vexa-camera\r\nc=IN IP6 ::\r\n";
  EXPECT_TRUE(client.receiveUntil([&](const std::string& answer) {
    return answer.find("\r\n\r\n") != std::string::npos && answer.ends_with("trackID=2\r\n");
  }));
  EXPECT_NE(client.received().find("Content-Base: " + url + "/\r\n"), std::string::npos);
  EXPECT_NE(client.received().find(lines), std::string::npos) << client.received();

  server.dropAllConnections();
  EXPECT_TRUE(client.receiveUntilClosed());
  EXPECT_EQ(server.droppedConnections(), 1u);
  EXPECT_TRUE(test::eventually([&] { return server.activeClients() == 0; }));
}

}  // namespace
}  // namespace vexa::camera
