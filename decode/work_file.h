#pragma once
// Block-buffered reading of work files and writing of decoded files, shared by the two decoders.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace fk {

// Owns a file descriptor; closes it when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; false when close reported an error (a lost write).
  bool reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Opens an existing regular file for reading; FIFOs, devices and directories are refused without blocking.
UniqueFd open_regular_for_read(const std::string& path);

// Reads a text file in the pieces a C line reader with a fixed buffer returns: a piece ends after its line
// end or when it holds `limit` characters (the line end counted), so an overlong line arrives in several
// pieces. CR LF is one line end, as the text mode of the files' original platform reads it.
class WorkFileReader {
 public:
  struct Piece {
    std::string_view text;  // the characters before the line end
    bool ended = false;     // a line end follows the text
    bool at_eof = false;    // the piece stopped because the file ended
    // Characters the piece counts for, its line end included.
    std::size_t length() const { return text.size() + (ended ? 1 : 0); }
  };

  WorkFileReader();
  bool open(const std::string& path);
  // Reads the lines after the first two (the pending row and the empty line the article loop writes)
  // as the classic news reader handed them over: leading blanks and empty lines skipped, the text
  // ended at a CR or NUL, a line cut every 511 bytes. The two older decoders were built on that.
  void use_reader_habits() { habits_ = true; }
  // The next piece; false at the end of the file. The text stays valid until the next call.
  bool next(std::size_t limit, Piece& piece);

 private:
  void fill(std::size_t want);
  bool next_raw(std::size_t limit, Piece& piece);
  bool next_habit(std::size_t limit, Piece& piece);
  bool load_habit_line();

  UniqueFd fd_;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
  bool habits_ = false;
  int raw_lines_ = 0;
  std::string line_;  // the current line as the reader would have handed it over
  std::size_t line_pos_ = 0;
  bool line_loaded_ = false, line_ended_ = false;
};

// A decoded file being written: buffered, never replacing an existing file.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile() { close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `name` in `dir` (which ends in '/'). When the name is taken, the first free "stem-N.ext"
  // (N = 1, 2, ...) is created instead; `used` receives the bare name actually created.
  bool create(const std::string& dir, const std::string& name, std::string& used);
  bool is_open() const { return static_cast<bool>(fd_); }
  // Room for n more bytes (n <= 4096); fill it and then commit what was written.
  char* reserve(std::size_t n) {
    if (used_ + n > kCapacity) flush();
    return buf_.get() + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  // Writes out and closes; false when any write of this file failed.
  bool close();
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kCapacity = 256 * 1024;
  void flush();

  UniqueFd fd_;
  std::unique_ptr<char[]> buf_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace fk
