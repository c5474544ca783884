// A slow link on loopback for benchmarks: a TCP relay in front of a local server that gives every
// connection through it the latency and the shared bandwidth of one network link (each direction
// its own bit rate, as on a real line). TLS passes through untouched, so a client talks to the
// server as before, only on the relay's port.
//
// Real time (it is for benchmarks only). Stops and joins its threads when destroyed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dk::bench {

class LinkRelay {
 public:
  using Clock = std::chrono::steady_clock;

  // `bitsPerSecond` each way; `roundTrip` split evenly between the two directions.
  LinkRelay(uint16_t serverPort, double bitsPerSecond, std::chrono::microseconds roundTrip)
      : serverPort_(serverPort), bytesPerSecond_(bitsPerSecond / 8), oneWay_(roundTrip / 2) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 64) != 0) {
      return;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~LinkRelay() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::shared_ptr<Pipe>> pipes;
    {
      std::lock_guard lock(mutex_);
      pipes = pipes_;
    }
    for (auto& pipe : pipes) pipe->stop();
    for (auto& pipe : pipes) pipe->join();
  }
  LinkRelay(const LinkRelay&) = delete;
  LinkRelay& operator=(const LinkRelay&) = delete;

  uint16_t port() const { return port_; }
  // Bytes carried from the server to the clients so far.
  int64_t bytesDown() const { return down_.carried; }

 private:
  // One direction of the link, shared by every connection: when it is next free.
  struct Direction {
    std::mutex mutex;
    Clock::time_point freeAt{};
    std::atomic<int64_t> carried{0};
  };
  // One direction of one connection: a reader that puts what it reads on the link, and a writer
  // that hands it over once it has crossed.
  struct Pipe {
    int from = -1, to = -1;
    std::thread reader, writer;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::pair<Clock::time_point, std::string>> queue;
    size_t queued = 0;  // bytes on the link: at most a window, as TCP keeps it
    bool ended = false;

    void stop() {
      ::shutdown(from, SHUT_RDWR);
      ::shutdown(to, SHUT_RDWR);
      std::lock_guard lock(mutex);
      ended = true;
      ready.notify_all();
    }
    void join() {
      if (reader.joinable()) reader.join();
      if (writer.joinable()) writer.join();
    }
  };

  void acceptLoop() {
    while (!stopping_) {
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(serverPort_);
      if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        ::close(server);
        continue;
      }
      int yes = 1;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      // Both ends are closed once both directions have ended.
      auto sockets = std::shared_ptr<int[]>(new int[2]{client, server}, [](int* fds) {
        ::close(fds[0]);
        ::close(fds[1]);
        delete[] fds;
      });
      auto up = start(client, server, up_, sockets);
      auto down = start(server, client, down_, sockets);
      std::lock_guard lock(mutex_);
      pipes_.push_back(up);
      pipes_.push_back(down);
    }
  }

  std::shared_ptr<Pipe> start(int from, int to, Direction& direction, std::shared_ptr<int[]> sockets) {
    auto pipe = std::make_shared<Pipe>();
    pipe->from = from;
    pipe->to = to;
    pipe->reader = std::thread([this, pipe, &direction, sockets] {
      std::string buffer(16 * 1024, '\0');
      for (;;) {
        {
          std::unique_lock lock(pipe->mutex);
          pipe->ready.wait(lock, [&] { return pipe->ended || pipe->queued < kWindowBytes; });
          if (pipe->ended) break;
        }
        const ssize_t n = ::recv(pipe->from, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        Clock::time_point arrives;
        {
          std::lock_guard lock(direction.mutex);
          const auto start = std::max(Clock::now(), direction.freeAt);
          direction.freeAt = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(static_cast<double>(n) / bytesPerSecond_));
          arrives = direction.freeAt + oneWay_;
        }
        direction.carried += n;
        std::lock_guard lock(pipe->mutex);
        pipe->queue.emplace_back(arrives, buffer.substr(0, static_cast<size_t>(n)));
        pipe->queued += static_cast<size_t>(n);
        pipe->ready.notify_all();
      }
      std::lock_guard lock(pipe->mutex);
      pipe->ended = true;
      pipe->ready.notify_all();
    });
    pipe->writer = std::thread([pipe, sockets] {
      for (;;) {
        std::unique_lock lock(pipe->mutex);
        pipe->ready.wait(lock, [&] { return pipe->ended || !pipe->queue.empty(); });
        if (pipe->queue.empty()) break;
        auto [when, bytes] = std::move(pipe->queue.front());
        pipe->queue.pop_front();
        lock.unlock();
        std::this_thread::sleep_until(when);
        const bool sent = ::send(pipe->to, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
        lock.lock();
        pipe->queued -= bytes.size();
        pipe->ready.notify_all();
        if (!sent) {
          pipe->ended = true;
          break;
        }
      }
      ::shutdown(pipe->to, SHUT_WR);
      ::shutdown(pipe->from, SHUT_RD);
    });
    return pipe;
  }

  static constexpr size_t kWindowBytes = 128 * 1024;

  uint16_t serverPort_;
  double bytesPerSecond_;
  std::chrono::microseconds oneWay_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Pipe>> pipes_;
  Direction up_, down_;
};

}  // namespace dk::bench
