#pragma once
// Fetching one small resource over HTTP. An interface so that tests use a
// double or a server on the loopback and nothing else reaches the network.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane {

struct HttpResult {
  enum class Outcome {
    Ok,           // a response with a status line arrived
    Error,        // the request could not even be formed (bad address)
    OpenFailed,   // no connection, or no response to the request
    BadResponse,  // the response's status line could not be read
  };
  Outcome outcome = Outcome::Error;
  int status = 0;
  // Body length the server declared (Content-Length, or the decoded total
  // of a chunked body); -1 when it declared none.
  int64_t declared_length = -1;
  // The body, at most the `max_body` bytes asked for.
  std::string body;
  // True when the body ended where the server said (or at the close) before
  // `max_body` was reached.
  bool body_complete = false;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual HttpResult Get(const std::string& url, size_t max_body) = 0;
};

// HTTP/1.1 GET over a plain socket ("http://host[:port]/path" only), with a
// time limit on connecting and on every read.
class SocketHttpClient final : public HttpClient {
 public:
  explicit SocketHttpClient(int timeout_ms = 10000) : timeout_ms_(timeout_ms) {}
  HttpResult Get(const std::string& url, size_t max_body) override;

 private:
  int timeout_ms_;
};

struct HttpAddress {
  std::string host;
  std::string port = "80";
  std::string path = "/";
};
// Splits an "http://" address; false for anything else.
bool ParseHttpAddress(const std::string& url, HttpAddress& out);

}  // namespace orvane
