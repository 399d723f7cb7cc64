#pragma once
// A small HTTP server on 127.0.0.1 for the tests of anything that fetches:
// it answers each path with a canned raw response and counts the requests.
// Loopback only; it never listens on another address.

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace orvane::synth {

class LoopbackHttpServer {
 public:
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // The whole response for a path, status line included. Unknown paths get 404.
  void Respond(const std::string& path, const std::string& raw_response);
  // A 200 response with Content-Length and `body`.
  void RespondBody(const std::string& path, const std::string& body);

  int port() const { return port_; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int Requests(const std::string& path) const;
  int TotalRequests() const;

 private:
  void Serve();
  void Handle(int fd);

  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mu_;
  std::map<std::string, std::string> responses_;
  std::map<std::string, int> counts_;
  int total_ = 0;
  std::thread thread_;
};

}  // namespace orvane::synth
