#include "tools/http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace orvane {

bool ParseHttpAddress(const std::string& url, HttpAddress& out) {
  out = HttpAddress{};
  constexpr std::string_view scheme = "http://";
  if (url.size() <= scheme.size()) return false;
  for (size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
  const size_t host_begin = scheme.size();
  const size_t slash = url.find('/', host_begin);
  std::string authority = url.substr(host_begin, slash == std::string::npos ? std::string::npos
                                                                            : slash - host_begin);
  if (slash != std::string::npos) out.path = url.substr(slash);
  if (authority.find('@') != std::string::npos) return false;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    out.host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return false;
      out.port = authority.substr(close + 2);
    }
  } else {
    const size_t colon = authority.rfind(':');
    out.host = authority.substr(0, colon);
    if (colon != std::string::npos) out.port = authority.substr(colon + 1);
  }
  if (out.host.empty() || out.port.empty() || out.port.size() > 5) return false;
  int port = 0;
  for (char c : out.port) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return false;
  for (char c : out.path)
    if (c == '\r' || c == '\n' || c == ' ') return false;
  return true;
}

namespace {

class Socket {
 public:
  explicit Socket(int fd = -1) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool WaitFor(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

int ConnectTo(const HttpAddress& a, int timeout_ms) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &list) != 0) return -1;
  int result = -1;
  for (addrinfo* ai = list; ai && result < 0; ai = ai->ai_next) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            ai->ai_protocol);
    if (fd < 0) continue;
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS && WaitFor(fd, POLLOUT, timeout_ms)) {
      int err = 0;
      socklen_t len = sizeof err;
      rc = (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) ? 0 : -1;
    }
    if (rc == 0) {
      result = fd;
    } else {
      ::close(fd);
    }
  }
  ::freeaddrinfo(list);
  return result;
}

bool SendAll(int fd, const std::string& data, int timeout_ms) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, timeout_ms)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Buffered reading with a time limit per wait; a silent server ends the read.
class Reader {
 public:
  Reader(int fd, int timeout_ms) : fd_(fd), timeout_ms_(timeout_ms) {}
  // Appends what arrives; false at the end of the stream or on an error.
  bool Fill() {
    char chunk[4096];
    for (;;) {
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n > 0) {
        buffered_.append(chunk, static_cast<size_t>(n));
        return true;
      }
      if (n == 0) return false;
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd_, POLLIN, timeout_ms_)) continue;
      return false;
    }
  }
  std::string& buffered() { return buffered_; }

  // One line ending in CRLF (or LF), without it; false when none comes.
  bool Line(std::string& line, size_t limit) {
    for (;;) {
      const size_t nl = buffered_.find('\n');
      if (nl != std::string::npos) {
        line = buffered_.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        buffered_.erase(0, nl + 1);
        return true;
      }
      if (buffered_.size() > limit || !Fill()) return false;
    }
  }

  // Moves up to `count` bytes into `out`; false when the stream ends first.
  bool Take(size_t count, std::string& out) {
    while (buffered_.size() < count) {
      if (!Fill()) {
        out.append(buffered_);
        buffered_.clear();
        return false;
      }
    }
    out.append(buffered_, 0, count);
    buffered_.erase(0, count);
    return true;
  }

 private:
  int fd_;
  int timeout_ms_;
  std::string buffered_;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool ParseDecimal(const std::string& s, int64_t& value) {
  if (s.empty() || s.size() > 18) return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

HttpResult SocketHttpClient::Get(const std::string& url, size_t max_body) {
  HttpResult r;
  HttpAddress a;
  if (!ParseHttpAddress(url, a)) {
    r.outcome = HttpResult::Outcome::Error;
    return r;
  }
  Socket sock(ConnectTo(a, timeout_ms_));
  r.outcome = HttpResult::Outcome::OpenFailed;
  if (sock.fd() < 0) return r;

  const bool v6 = a.host.find(':') != std::string::npos;
  std::string host = v6 ? "[" + a.host + "]" : a.host;
  if (a.port != "80") host += ":" + a.port;
  const std::string request = "GET " + a.path + " HTTP/1.1\r\nHost: " + host +
                              "\r\nUser-Agent: Session\r\nAccept: */*\r\nConnection: close\r\n\r\n";
  if (!SendAll(sock.fd(), request, timeout_ms_)) return r;

  Reader in(sock.fd(), timeout_ms_);
  constexpr size_t kLineLimit = 8192;
  std::string line;
  if (!in.Line(line, kLineLimit)) {
    if (!in.buffered().empty()) r.outcome = HttpResult::Outcome::BadResponse;
    return r;
  }
  // "HTTP/1.x NNN reason"
  r.outcome = HttpResult::Outcome::BadResponse;
  if (line.rfind("HTTP/", 0) != 0) return r;
  const size_t space = line.find(' ');
  if (space == std::string::npos || space + 4 > line.size()) return r;
  int64_t status = 0;
  if (!ParseDecimal(line.substr(space + 1, 3), status)) return r;
  r.status = static_cast<int>(status);

  bool chunked = false;
  for (int headers = 0;; ++headers) {
    if (headers > 100 || !in.Line(line, kLineLimit)) return r;
    if (line.empty()) break;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
      int64_t length = 0;
      if (!ParseDecimal(value, length)) return r;
      r.declared_length = length;
    } else if (name == "transfer-encoding") {
      chunked = Lower(value).find("chunked") != std::string::npos;
    }
  }
  r.outcome = HttpResult::Outcome::Ok;

  if (chunked) {
    int64_t total = 0;
    for (;;) {
      if (!in.Line(line, kLineLimit)) return r;
      const std::string size_text = Trim(line.substr(0, line.find(';')));
      if (size_text.empty() || size_text.size() > 15) return r;
      int64_t size = 0;
      for (char c : size_text) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'a' && c <= 'f')                   ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F')                   ? c - 'A' + 10
                                                                 : -1;
        if (d < 0) return r;
        size = size * 16 + d;
      }
      if (size == 0) break;
      total += size;
      const size_t room = max_body - std::min(max_body, r.body.size());
      if (static_cast<size_t>(size) > room) {
        // More than the caller wants: keep what fits, the length is known
        // only by reading on, which a small resource never needs.
        in.Take(room, r.body);
        return r;
      }
      if (!in.Take(static_cast<size_t>(size), r.body)) return r;
      if (!in.Line(line, kLineLimit)) return r;
    }
    r.declared_length = total;
    r.body_complete = true;
    return r;
  }

  if (r.declared_length >= 0) {
    const size_t want = static_cast<size_t>(
        std::min<int64_t>(r.declared_length, static_cast<int64_t>(max_body)));
    const bool got = in.Take(want, r.body);
    r.body_complete = got && static_cast<int64_t>(want) == r.declared_length;
    return r;
  }
  // No length: the body runs to the close.
  for (;;) {
    if (in.buffered().size() > max_body) {
      r.body = in.buffered().substr(0, max_body);
      return r;
    }
    if (!in.Fill()) break;
  }
  r.body = in.buffered();
  r.body_complete = true;
  return r;
}

}  // namespace orvane
