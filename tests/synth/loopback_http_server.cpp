#include "synth/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace orvane::synth {

LoopbackHttpServer::LoopbackHttpServer() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket");
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 16) != 0)
    throw std::runtime_error("bind");
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stop_.store(true);
  thread_.join();
  ::close(listen_fd_);
}

void LoopbackHttpServer::Respond(const std::string& path, const std::string& raw) {
  std::lock_guard lock(mu_);
  responses_[path] = raw;
}

void LoopbackHttpServer::RespondBody(const std::string& path, const std::string& body) {
  Respond(path, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

int LoopbackHttpServer::Requests(const std::string& path) const {
  std::lock_guard lock(mu_);
  auto it = counts_.find(path);
  return it == counts_.end() ? 0 : it->second;
}

int LoopbackHttpServer::TotalRequests() const {
  std::lock_guard lock(mu_);
  return total_;
}

void LoopbackHttpServer::Serve() {
  while (!stop_.load()) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Handle(fd);
    ::close(fd);
  }
}

void LoopbackHttpServer::Handle(int fd) {
  std::string request;
  char buf[1024];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    request.append(buf, static_cast<size_t>(n));
  }
  // "GET /path HTTP/1.1"
  const size_t a = request.find(' ');
  const size_t b = request.find(' ', a + 1);
  if (a == std::string::npos || b == std::string::npos) return;
  const std::string path = request.substr(a + 1, b - a - 1);
  std::string response;
  {
    std::lock_guard lock(mu_);
    ++counts_[path];
    ++total_;
    auto it = responses_.find(path);
    response = it != responses_.end()
                   ? it->second
                   : "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found";
  }
  size_t done = 0;
  while (done < response.size()) {
    const ssize_t n = ::send(fd, response.data() + done, response.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);
}

}  // namespace orvane::synth
