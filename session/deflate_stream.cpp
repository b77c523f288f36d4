// SPDX-License-Identifier: GPL-3.0-or-later
// The COMPRESS DEFLATE layer over zlib.
#include "session/deflate_stream.h"

#include <zlib.h>

#include <vector>

namespace fk {

namespace {

constexpr std::size_t kWireBlock = 64 * 1024;

// One zlib stream of raw deflate, either way, ended with the object.
template <bool Deflating>
class ZlibStream {
 public:
  ZlibStream() {
    if constexpr (Deflating)
      ok_ = deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    else
      ok_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;
  }
  ~ZlibStream() {
    if (!ok_) return;
    if constexpr (Deflating)
      deflateEnd(&z_);
    else
      inflateEnd(&z_);
  }
  ZlibStream(const ZlibStream&) = delete;
  ZlibStream& operator=(const ZlibStream&) = delete;
  bool ok() const { return ok_; }
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
  bool ok_ = false;
};
using Inflater = ZlibStream<false>;
using Deflater = ZlibStream<true>;

class DeflateStream final : public Stream {
 public:
  DeflateStream(std::unique_ptr<Stream> inner, std::string_view already_read, std::atomic<std::int64_t>* counter)
      : Stream(inner->fd()), inner_(std::move(inner)), counter_(counter) {
    raw_.assign(already_read.begin(), already_read.end());
    totals_.wire_read = static_cast<std::int64_t>(already_read.size());
    if (counter_) *counter_ += totals_.wire_read;
    if (!in_.ok() || !out_.ok()) failure_ = "zlib could not be set up";
  }
  ~DeflateStream() override { fd_ = -1; }  // the inner stream closes the descriptor

  bool is_tls() const override { return inner_->is_tls(); }
  // zlib may still hold inflated bytes with no input left: count them so no one waits on the socket for them.
  std::size_t pending() const override {
    return raw_.size() - raw_pos_ + (more_out_ ? 1 : 0) + inner_->pending();
  }
  std::string failure() const override { return failure_.empty() ? inner_->failure() : failure_; }
  const CompressionTotals* compression() const override { return &totals_; }

  Io read(char* buf, std::size_t n, std::size_t& got) override {
    if (!failure_.empty()) return Io::Failed;
    if (n == 0) {
      got = 0;
      return Io::Ok;
    }
    for (;;) {
      if (raw_pos_ < raw_.size() || more_out_) {
        z_stream& z = in_.z();
        z.next_in = reinterpret_cast<Bytef*>(raw_.data() + raw_pos_);
        z.avail_in = static_cast<uInt>(raw_.size() - raw_pos_);
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = static_cast<uInt>(n);
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        const std::size_t consumed = raw_.size() - raw_pos_ - z.avail_in;
        const std::size_t produced = n - z.avail_out;
        raw_pos_ += consumed;
        // With the output full, zlib may hold more without needing any input.
        more_out_ = produced == n;
        if (rc == Z_STREAM_END) {
          failure_ = "the server ended its compressed stream";
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
          failure_ = std::string("the compressed data from the server is corrupt (") +
                     (z.msg ? z.msg : "inflate error " + std::to_string(rc)) + ")";
          return Io::Failed;
        } else if (rc == Z_BUF_ERROR && consumed == 0 && produced == 0 && raw_pos_ < raw_.size()) {
          failure_ = "the compressed data from the server cannot be read";
          return Io::Failed;
        }
        totals_.text_read += static_cast<std::int64_t>(produced);
        if (produced > 0) {
          got = produced;
          return Io::Ok;
        }
        if (!failure_.empty()) return Io::Failed;
        if (raw_pos_ < raw_.size()) continue;
      }
      raw_.resize(kWireBlock);
      raw_pos_ = 0;
      std::size_t wire = 0;
      Io r = inner_->read(raw_.data(), raw_.size(), wire);
      raw_.resize(r == Io::Ok ? wire : 0);
      if (r != Io::Ok) return r;
      totals_.wire_read += static_cast<std::int64_t>(wire);
      if (counter_) *counter_ += static_cast<std::int64_t>(wire);
    }
  }

  Io write(const char* buf, std::size_t n, std::size_t& put) override {
    if (!failure_.empty()) return Io::Failed;
    if (out_pos_ == packed_.size() && accepted_ == 0) {
      if (!pack(buf, n)) return Io::Failed;
      accepted_ = n;
    }
    while (out_pos_ < packed_.size()) {
      std::size_t sent = 0;
      Io r = inner_->write(packed_.data() + out_pos_, packed_.size() - out_pos_, sent);
      if (r != Io::Ok) return r;
      out_pos_ += sent;
      totals_.wire_sent += static_cast<std::int64_t>(sent);
      if (counter_) *counter_ += static_cast<std::int64_t>(sent);
    }
    put = accepted_;
    totals_.text_sent += static_cast<std::int64_t>(accepted_);
    accepted_ = 0;
    packed_.clear();
    out_pos_ = 0;
    return Io::Ok;
  }

 private:
  // The whole buffer deflated and flushed into packed_.
  bool pack(const char* buf, std::size_t n) {
    z_stream& z = out_.z();
    packed_.clear();
    out_pos_ = 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(buf));
    z.avail_in = static_cast<uInt>(n);
    do {
      const std::size_t had = packed_.size();
      const std::size_t room = deflateBound(&z, z.avail_in) + 16;
      packed_.resize(had + room);
      z.next_out = reinterpret_cast<Bytef*>(packed_.data() + had);
      z.avail_out = static_cast<uInt>(room);
      const int rc = deflate(&z, Z_SYNC_FLUSH);
      packed_.resize(had + room - z.avail_out);
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        failure_ = "compressing a command failed";
        return false;
      }
    } while (z.avail_in > 0 || z.avail_out == 0);
    return true;
  }

  std::unique_ptr<Stream> inner_;
  std::atomic<std::int64_t>* counter_;
  Inflater in_;
  Deflater out_;
  std::vector<char> raw_;  // compressed bytes read, not yet inflated from raw_pos_ on
  std::size_t raw_pos_ = 0;
  bool more_out_ = false;
  std::vector<char> packed_;  // a command deflated, sent up to out_pos_
  std::size_t out_pos_ = 0;
  std::size_t accepted_ = 0;  // the caller's bytes packed_ carries
  std::string failure_;
  CompressionTotals totals_;
};

}  // namespace

std::unique_ptr<Stream> make_deflate_stream(std::unique_ptr<Stream> inner, std::string_view already_read,
                                            std::atomic<std::int64_t>* wire_counter) {
  return std::make_unique<DeflateStream>(std::move(inner), already_read, wire_counter);
}

}  // namespace fk
