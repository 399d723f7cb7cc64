#include "tools/version_check.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "synth/loopback_http_server.h"
#include "synth/tool_doubles.h"
#include "tools/http_client.h"
#include "tools/network_reachability.h"
#include "tools/scrambled_text.h"
#include "tools/url_opener.h"

namespace orvane {
namespace {

using synth::FixedReachability;

struct Fixture {
  synth::LoopbackHttpServer server;
  SocketHttpClient http{3000};
  FixedReachability online{true};
  VersionSources sources{ScrambleText(server.Base() + "/a/"), ScrambleText(server.Base() + "/b/")};

  int32_t Query(int32_t& published) { return QueryPublishedVersion(http, online, sources, published); }
};

TEST(VersionCheck, NewerVersionIsOfferedAndTheSameIsNot) {
  Fixture f;
  f.server.RespondBody("/a/version.zip", "611");
  int32_t published = -1;
  EXPECT_EQ(f.Query(published), kVersionOk);
  EXPECT_EQ(published, 611);
  EXPECT_TRUE(OffersUpdate(kVersionOk, published));
  EXPECT_EQ(VersionText(kCurrentVersion), "6.10");
  EXPECT_EQ(VersionText(published), "6.11");
  EXPECT_EQ(f.server.Requests("/b/version.zip"), 0);

  f.server.RespondBody("/a/version.zip", "610");
  EXPECT_EQ(f.Query(published), kVersionOk);
  EXPECT_EQ(published, 610);
  EXPECT_FALSE(OffersUpdate(kVersionOk, published));
  f.server.RespondBody("/a/version.zip", "599");
  EXPECT_EQ(f.Query(published), kVersionOk);
  EXPECT_FALSE(OffersUpdate(kVersionOk, published));
}

TEST(VersionCheck, FourByteBodyFailsAndTheFallbackIsAsked) {
  Fixture f;
  f.server.RespondBody("/a/version.zip", "611\n");
  int32_t published = -1;
  EXPECT_EQ(FetchPublishedVersion(f.http, f.server.Base() + "/a/version.zip", published),
            kVersionBadLength);
  // Primary fails again, the fallback answers.
  f.server.RespondBody("/b/version.zip", "612");
  EXPECT_EQ(f.Query(published), kVersionOk);
  EXPECT_EQ(published, 612);
  EXPECT_EQ(f.server.Requests("/a/version.zip"), 2);
  EXPECT_EQ(f.server.Requests("/b/version.zip"), 1);
  // Both failing: the fallback's result is the result.
  f.server.RespondBody("/b/version.zip", "61");
  EXPECT_EQ(f.Query(published), kVersionBadLength);
}

TEST(VersionCheck, BodiesAndStatuses) {
  Fixture f;
  int32_t published = -1;
  const std::string url = f.server.Base() + "/a/version.zip";

  f.server.RespondBody("/a/version.zip", "abc");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionOk);
  EXPECT_EQ(published, 0);
  EXPECT_FALSE(OffersUpdate(kVersionOk, published));

  // Nothing answers the path: 404 from both servers.
  f.server.Respond("/a/version.zip",
                   "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\nConnection: close\r\n\r\n611");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionStatusFailed);
  EXPECT_EQ(f.Query(published), kVersionStatusFailed);

  // Three bytes declared, two sent before the close.
  f.server.Respond("/a/version.zip", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n61");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionShortRead);

  // Chunked, and without any length up to the close.
  f.server.Respond("/a/version.zip",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n61\r\n1\r\n3\r\n0\r\n\r\n");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionOk);
  EXPECT_EQ(published, 613);
  f.server.Respond("/a/version.zip", "HTTP/1.0 200 OK\r\n\r\n6110");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionBadLength);
  f.server.Respond("/a/version.zip", "HTTP/1.0 200 OK\r\n\r\n614");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionOk);
  EXPECT_EQ(published, 614);

  // Not HTTP at all.
  f.server.Respond("/a/version.zip", "hello\r\n\r\n");
  EXPECT_EQ(FetchPublishedVersion(f.http, url, published), kVersionStatusFailed);
}

TEST(VersionCheck, UnreachableAndUnusableAddresses) {
  SocketHttpClient http(2000);
  int32_t published = -1;
  // A loopback port that nobody listens on.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  const int port = ntohs(addr.sin_port);
  ::close(fd);
  EXPECT_EQ(FetchPublishedVersion(http, "http://127.0.0.1:" + std::to_string(port) + "/version.zip",
                                  published),
            kVersionOpenFailed);
  EXPECT_EQ(FetchPublishedVersion(http, "ftp://127.0.0.1/version.zip", published),
            kVersionLibraryError);
  EXPECT_EQ(FetchPublishedVersion(http, "http://127.0.0.1:99999/version.zip", published),
            kVersionLibraryError);
}

TEST(VersionCheck, OfflineMakesNoRequest) {
  synth::LoopbackHttpServer server;
  server.RespondBody("/a/version.zip", "611");
  SocketHttpClient http(2000);
  FixedReachability offline(false);
  int32_t published = -1;
  const VersionSources sources{ScrambleText(server.Base() + "/a/"),
                               ScrambleText(server.Base() + "/a/")};
  EXPECT_EQ(QueryPublishedVersion(http, offline, sources, published), kVersionOffline);
  EXPECT_EQ(published, -1);
  EXPECT_EQ(server.TotalRequests(), 0);
}

TEST(VersionCheck, AddressesAreKeptScrambled) {
  const VersionSources built_in = BuiltInVersionSources();
  for (const std::string& s : {built_in.primary, built_in.fallback}) {
    EXPECT_EQ(s.find("http"), std::string::npos);
    EXPECT_EQ(s.find("orvane"), std::string::npos);
    const std::string plain = Descramble(s);
    EXPECT_EQ(plain.rfind("http://", 0), 0u) << plain;
    EXPECT_EQ(plain.back(), '/');
    HttpAddress a;
    EXPECT_TRUE(ParseHttpAddress(plain + "version.zip", a));
    EXPECT_NE(a.host.find(".invalid"), std::string::npos);
  }
  EXPECT_NE(Descramble(built_in.primary), Descramble(built_in.fallback));

  struct Recording final : UrlOpener {
    bool OpenUrl(const std::string& url) override {
      opened = url;
      return true;
    }
    std::string opened;
  } opener;
  EXPECT_TRUE(OpenDownloadPage(opener));
  EXPECT_EQ(opener.opened, DownloadPageAddress());
  EXPECT_EQ(opener.opened.rfind("http://", 0), 0u);
}

TEST(VersionCheck, VersionTexts) {
  EXPECT_EQ(VersionText(611), "6.11");
  EXPECT_EQ(VersionText(7), "7.");
  EXPECT_EQ(VersionText(1000), "1.000");
}

TEST(HttpAddress, Parts) {
  HttpAddress a;
  ASSERT_TRUE(ParseHttpAddress("HTTP://host.example:8080/x/y?z", a));
  EXPECT_EQ(a.host, "host.example");
  EXPECT_EQ(a.port, "8080");
  EXPECT_EQ(a.path, "/x/y?z");
  ASSERT_TRUE(ParseHttpAddress("http://[::1]:81", a));
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, "81");
  EXPECT_EQ(a.path, "/");
  EXPECT_FALSE(ParseHttpAddress("http://", a));
  EXPECT_FALSE(ParseHttpAddress("http://h:/", a));
  EXPECT_FALSE(ParseHttpAddress("http://h/a b", a));
  EXPECT_FALSE(ParseHttpAddress("https://h/", a));
}

}  // namespace
}  // namespace orvane
