// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Block-buffered reading of work files and writing of decoded files, shared by the two decoders.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "decode/decode_result.h"
#include "decode/paths.h"
#include "store/unique_fd.h"

namespace fk {

// The one reader of work files: blocks of up to 2 MiB, lines of any length. The decoders read through it
// directly (yEnc) or through WorkFileReader's pieces (uuencode, base64).
class BlockReader {
 public:
  static constexpr std::size_t kBlock = 1 << 20;
  bool open(const std::string& path);
  // Makes at least `want` (<= 2 * kBlock) bytes available unless the file ends first; false when none are
  // left. A read error ends the input like the end of the file.
  bool fill(std::size_t want);
  const unsigned char* data() const { return buf_.get() + pos_; }
  const char* chars() const { return reinterpret_cast<const char*>(data()); }
  std::size_t available() const { return end_ - pos_; }
  void advance(std::size_t n) { pos_ += n; }
  bool at_eof() const { return eof_ && pos_ == end_; }
  // The rest of the current line without its line end (a CR before it dropped), cut at `max`; false at
  // the end of the file.
  bool line(std::string& out, std::size_t max);
  // Skips to the start of the next line; false at the end.
  bool skip_line();
  // The next line starts with `prefix`; its bytes stay unread.
  bool line_starts_with(std::string_view prefix);

 private:
  UniqueFd fd_;
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = true;
};

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

  bool open(const std::string& path) { return in_.open(path); }
  // Reads the lines after the first two (the pending row and the empty line the article loop writes)
  // as the classic news reader handed them over: leading blanks and empty lines skipped, the text
  // ended at a CR or NUL, a line cut every 511 bytes. The two older decoders were built on that.
  void use_reader_habits() { habits_ = true; }
  // The next piece; false at the end of the file. The text stays valid until the next call.
  bool next(std::size_t limit, Piece& piece);

 private:
  bool next_raw(std::size_t limit, Piece& piece);
  bool next_habit(std::size_t limit, Piece& piece);
  bool load_habit_line();

  BlockReader in_;
  bool habits_ = false;
  int raw_lines_ = 0;
  std::string line_;  // the current line as the reader would have handed it over
  std::size_t line_pos_ = 0;
  bool line_loaded_ = false, line_ended_ = false;
};

// The system calls a decoded file is written with; tests replace them to make the disk fill up.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  virtual ssize_t write(int fd, const void* data, std::size_t size);
  virtual int sync(int fd);
};

// The system's writer, shared by every OutputFile that is given no other.
FileWriter& system_file_writer();

// What a temporary picture is called while it is written ("<dir>" + prefix + six random characters).
// Picture names never start with a dot, so it cannot meet one.
inline constexpr char kPictureTempPrefix[] = ".picture.tmp-";

// A decoded file being written: buffered into a temporary file in its folder and moved to its name only
// when it is whole and synced, never replacing an existing file. Dropped when not committed.
class OutputFile {
 public:
  explicit OutputFile(FileWriter& writer = system_file_writer());
  ~OutputFile() { discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Starts a file that will be called `name` in `dir` (which ends in '/'). False when no temporary file
  // could be made there (error() says why) or the name cannot be a file name (error() is ENAMETOOLONG).
  bool create(const std::string& dir, const std::string& name);
  bool is_open() const { return static_cast<bool>(fd_); }
  // Room for n more bytes (n <= kCapacity); fill it and then commit what was written.
  char* reserve(std::size_t n) {
    if (used_ + n > kCapacity) flush();
    return buf_.get() + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  // Writes out, syncs and moves the file to its name, or to the first free "stem-N.ext" (N = 1, 2, ...)
  // when the name is taken by other bytes. A file of the same bytes already there is kept instead and
  // `existed` set. `used` receives the bare name. False (and nothing kept) when a write failed.
  bool finish(std::string& used, bool& existed);
  // Only pictures among the pictures: at finish, a file whose name says picture but whose first bytes
  // are no known picture format, or of fewer than kMinFiledBytes bytes, goes to unknown_dir (ending in
  // '/', created when missing) under the same naming rules, or nowhere when `keep` is false; an empty
  // one goes nowhere. where() tells.
  void vet_as_picture(std::string unknown_dir, bool keep = true) {
    unknown_dir_ = std::move(unknown_dir);
    keep_unknown_ = keep;
  }
  enum class Filed { Picture, Unknown, Nothing };
  Filed where() const { return filed_; }
  // The folder the file was moved into by finish.
  const std::string& final_dir() const { return final_dir_; }
  // Removes the temporary file, if any.
  void discard();
  bool failed() const { return failed_; }
  // The errno of the first failure.
  int error() const { return error_; }
  std::uint64_t size() const { return written_ + used_; }

  static constexpr std::size_t kCapacity = 1 << 20;

 private:
  void flush();
  void fail(int err);

  FileWriter& writer_;
  UniqueFd fd_;
  std::unique_ptr<char[]> buf_;
  std::string dir_, name_, temp_path_;
  std::string unknown_dir_, final_dir_;
  std::string head_;  // the first kPictureHead bytes written
  Filed filed_ = Filed::Picture;
  bool keep_unknown_ = true;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  bool failed_ = false;
  int error_ = 0;
};

// A write failure that ends the session (full disk, folder not writable) rather than a bad name.
bool is_disk_error(int err);

// A WriteFailed result for the file at path.
DecodeResult write_failure(const std::string& path, int error);

}  // namespace fk
