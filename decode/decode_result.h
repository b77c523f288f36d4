// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a decoder of the family reports, and the interface the article loop asks them through.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fk {

enum class DecodeStatus {
  Decoded,      // a file was written into the group's folder (or the same bytes were already there)
  Failed,       // no usable data for this decoder; the next one may try
  Damaged,      // claimed but broken (checksum, size, cut short): not a picture
  PartOfSet,    // one part of a multi-part posting; `yenc` holds its part fields
  WriteFailed,  // the file could not be written (full disk, folder not writable); nothing was kept
  NotPicture,   // decoded, but no picture: filed in unknown/ under `name`, or nowhere when empty
};

// The keyword lines of a yEnc posting as read, and what decoding measured.
struct YencInfo {
  std::string name;  // the rest of the =ybegin line after "name=", as sent
  std::optional<std::uint64_t> size, line, part, total;  // =ybegin
  std::optional<std::uint64_t> part_begin, part_end;     // =ypart
  bool has_end = false;                                  // an =yend line was met
  std::optional<std::uint64_t> end_size, end_part;       // =yend
  std::optional<std::uint32_t> crc32, pcrc32;            // =yend
  std::uint64_t decoded_bytes = 0;
  std::uint32_t decoded_crc = 0;
  bool broken_escape = false;  // an escape character ended a line or the file

  // Not a whole file in one article: a part other than "1 of 1" (a part without a total counts as
  // whole when its =ypart covers the whole size).
  bool is_part_of_set() const;
  // The name to file under: blanks around it removed, in UTF-8 (bytes that are not are read as Latin-1).
  std::string file_name() const;
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::Failed;
  std::string message;  // the text to log and show when not Decoded
  std::string name;     // bare name of the file written in the group's folder (a kept short uudecode too)
  bool already_stored = false;  // that name already held the same bytes; nothing new was written
  int error = 0;                // errno of a WriteFailed
  std::string failed_path;      // what could not be written (a WriteFailed)
  YencInfo yenc;
};

enum class DecoderKind { Yenc, Uuencode, Base64 };

// One member of the decoder family. The article loop asks each in turn whether it claims the work file
// and lets the first that does decode it.
class Decoder {
 public:
  virtual ~Decoder() = default;
  virtual DecoderKind kind() const = 0;
  // Cheap look at the work file: whether this decoder takes it. uuencode and base64 take every file and
  // report what they miss as Failed, so the chain of old goes on.
  virtual bool claims(const std::string& work_file) = 0;
  // Decodes into group_directory(group) and logs its own lines; the caller shows the message.
  virtual DecodeResult decode(const std::string& work_file, const std::string& group) = 0;
  // The line the article loop logs before this decoder tries a body another member tried first; empty
  // for none.
  virtual std::string_view trying_line() const { return {}; }
  // A picture it decodes counts on the window's base64 counter.
  virtual bool counts_as_base64() const { return false; }
  // Whether this decoder knows where a part of a set belongs in the whole file (place() works).
  virtual bool places_parts() const { return false; }
  // Decodes one part of a set into dir + name and reports its place: Decoded with `yenc` holding the
  // part's range (part_begin..part_end, 1-based) and the whole file's size, or Damaged (nothing kept).
  virtual DecodeResult place(const std::string& /*work_file*/, const std::string& /*dir*/,
                             const std::string& /*name*/) {
    return {};
  }
};

}  // namespace fk
