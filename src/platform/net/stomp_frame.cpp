#include "platform/net/stomp_frame.h"

#include <algorithm>
#include <cstring>

namespace dk::platform {
namespace {

// CONNECT and CONNECTED carry their headers unescaped, for 1.0 peers.
bool escapesHeaders(std::string_view command) { return command != "CONNECT" && command != "CONNECTED"; }

void appendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case ':': out += "\\c"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
}

// False on an escape STOMP 1.2 does not define (a fatal error for the frame).
bool unescape(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 'c': out += ':'; break;
      case '\\': out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

bool validCommand(std::string_view command) {
  if (command.empty() || command.size() > 32) return false;
  for (char c : command) {
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

std::string_view stripCR(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<std::string> StompFrame::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::string StompFrame::serialize() const {
  std::string out;
  out.reserve(command.size() + body.size() + 64 * (headers.size() + 1));
  out += command;
  out += '\n';
  const bool escape = escapesHeaders(command);
  bool hasLength = false;
  for (const auto& [key, value] : headers) {
    if (key == "content-length") hasLength = true;
    if (escape) {
      appendEscaped(out, key);
      out += ':';
      appendEscaped(out, value);
    } else {
      out += key;
      out += ':';
      out += value;
    }
    out += '\n';
  }
  if (!body.empty() && !hasLength) {
    out += "content-length:";
    out += std::to_string(body.size());
    out += '\n';
  }
  out += '\n';
  out += body;
  out += '\0';
  return out;
}

bool StompFrameParser::fail(std::string message) {
  error_ = std::move(message);
  buffer_.clear();
  buffer_.shrink_to_fit();
  start_ = scanned_ = 0;
  pending_.reset();
  return false;
}

bool StompFrameParser::feed(std::string_view bytes, std::vector<StompFrame>& frames) {
  if (failed()) return false;
  buffer_.append(bytes);
  for (;;) {
    StompFrame frame;
    switch (parseOne(frame)) {
      case Step::Frame:
        frames.push_back(std::move(frame));
        continue;
      case Step::Fail:
        return false;
      case Step::NeedMore:
        break;
    }
    break;
  }
  // Drop consumed bytes once they are the larger part, so the buffer stays near one frame.
  if (start_ > 0 && start_ * 2 >= buffer_.size()) {
    buffer_.erase(0, start_);
    scanned_ -= std::min(scanned_, start_);
    if (pending_) {
      pending_->bodyStart -= start_;
      pending_->bodyScanned -= start_;
    }
    start_ = 0;
  }
  if (buffered() > maxFrameSize_ + 2) {
    return fail("frame exceeds " + std::to_string(maxFrameSize_) + " bytes");
  }
  return true;
}

StompFrameParser::Step StompFrameParser::parseOne(StompFrame& frame) {
  if (!pending_) {
    // End-of-lines between frames are heart-beats (and the optional EOLs after a NUL).
    while (start_ < buffer_.size()) {
      if (buffer_[start_] == '\n') {
        ++heartbeats_;
        ++start_;
      } else if (buffer_[start_] == '\r') {
        if (start_ + 1 == buffer_.size()) return Step::NeedMore;
        if (buffer_[start_ + 1] != '\n') {
          fail("malformed frame: stray carriage return");
          return Step::Fail;
        }
        ++heartbeats_;
        start_ += 2;
      } else {
        break;
      }
    }
    scanned_ = std::max(scanned_, start_);
    if (start_ == buffer_.size()) return Step::NeedMore;

    // Find the blank line that ends the headers, resuming where the last call stopped.
    size_t lineStart = scanned_;
    size_t headersEnd = std::string::npos;
    for (;;) {
      const void* hit = std::memchr(buffer_.data() + lineStart, '\n', buffer_.size() - lineStart);
      if (!hit) break;
      const size_t newline = static_cast<const char*>(hit) - buffer_.data();
      if (lineStart > start_ && stripCR(std::string_view(buffer_).substr(lineStart, newline - lineStart)).empty()) {
        headersEnd = newline + 1;
        break;
      }
      lineStart = newline + 1;
    }
    if (headersEnd == std::string::npos) {
      scanned_ = lineStart;
      if (buffer_.size() - start_ > maxFrameSize_) {
        fail("frame exceeds " + std::to_string(maxFrameSize_) + " bytes");
        return Step::Fail;
      }
      return Step::NeedMore;
    }
    if (headersEnd - start_ > maxFrameSize_) {
      fail("frame exceeds " + std::to_string(maxFrameSize_) + " bytes");
      return Step::Fail;
    }

    Pending parsed;
    std::string_view head = std::string_view(buffer_).substr(start_, headersEnd - start_);
    size_t eol = head.find('\n');
    parsed.frame.command = std::string(stripCR(head.substr(0, eol)));
    if (!validCommand(parsed.frame.command)) {
      fail("malformed frame: bad command");
      return Step::Fail;
    }
    const bool escaped = escapesHeaders(parsed.frame.command);
    head.remove_prefix(eol + 1);
    while (!head.empty()) {
      eol = head.find('\n');
      std::string_view line = stripCR(head.substr(0, eol));
      head.remove_prefix(eol + 1);
      if (line.empty()) break;
      const size_t colon = line.find(':');
      if (colon == std::string_view::npos || colon == 0) {
        fail("malformed header line");
        return Step::Fail;
      }
      std::string key;
      std::string value;
      if (escaped) {
        if (!unescape(line.substr(0, colon), key) || !unescape(line.substr(colon + 1), value)) {
          fail("malformed header escape");
          return Step::Fail;
        }
      } else {
        key = std::string(line.substr(0, colon));
        value = std::string(line.substr(colon + 1));
      }
      parsed.frame.headers.emplace_back(std::move(key), std::move(value));
    }
    if (auto length = parsed.frame.header("content-length")) {
      if (length->empty() || length->size() > 10 ||
          length->find_first_not_of("0123456789") != std::string::npos) {
        fail("malformed content-length");
        return Step::Fail;
      }
      const unsigned long long n = std::stoull(*length);
      if (n > maxFrameSize_ || (headersEnd - start_) + n > maxFrameSize_) {
        fail("frame exceeds " + std::to_string(maxFrameSize_) + " bytes");
        return Step::Fail;
      }
      parsed.contentLength = static_cast<size_t>(n);
    }
    parsed.bodyStart = headersEnd;
    parsed.bodyScanned = headersEnd;
    pending_ = std::move(parsed);
  }

  Pending& p = *pending_;
  size_t end;  // index of the closing NUL
  if (p.contentLength) {
    end = p.bodyStart + *p.contentLength;
    if (buffer_.size() <= end) return Step::NeedMore;
    if (buffer_[end] != '\0') {
      fail("malformed frame: body longer than content-length");
      return Step::Fail;
    }
  } else {
    const void* hit = std::memchr(buffer_.data() + p.bodyScanned, '\0', buffer_.size() - p.bodyScanned);
    if (!hit) {
      p.bodyScanned = buffer_.size();
      if (buffer_.size() - start_ > maxFrameSize_) {
        fail("frame exceeds " + std::to_string(maxFrameSize_) + " bytes");
        return Step::Fail;
      }
      return Step::NeedMore;
    }
    end = static_cast<const char*>(hit) - buffer_.data();
    if (end - start_ > maxFrameSize_) {
      fail("frame exceeds " + std::to_string(maxFrameSize_) + " bytes");
      return Step::Fail;
    }
  }
  frame = std::move(p.frame);
  frame.body.assign(buffer_, p.bodyStart, end - p.bodyStart);
  pending_.reset();
  start_ = end + 1;
  scanned_ = start_;
  return Step::Frame;
}

}  // namespace dk::platform
