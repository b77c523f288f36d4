// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The attachment decoders of the article loop (yEnc, uuencode, MIME base64) and MOVEFILE.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "decode/decode_result.h"

namespace fk {

class Clock;
class FileWriter;
class OutputFile;
class StatusLog;
class Decoders;

// Where the files that are no pictures go.
inline constexpr char kUnknownDir[] = "unknown/";

// After OutputFile::finish of a vetted file: when it was no picture, sets result to NotPicture, logs
// its one line ("<tag> -- <name> is no picture... filed in unknown/" or "... empty, nothing filed")
// through log and returns true.
bool not_a_picture(const OutputFile& out, const StatusLog& log, const char* tag, const std::string& name,
                   DecodeResult& result);

// The members of the family, one per encoding, each in its own file.
std::unique_ptr<Decoder> make_yenc_decoder(Decoders& shared);
std::unique_ptr<Decoder> make_uudecode_decoder(Decoders& shared);
std::unique_ptr<Decoder> make_mime64_decoder(Decoders& shared);

// Created once per program: the bad-decode counter runs for the life of the process. One decode at a
// time; each call opens and closes its own files, reads the work file in bounded memory and writes only
// into group_directory(group) and, for inspection copies, unknown/.
// How the decoders read the work file: as written, or (the article loop's temp.uue, which holds the body
// byte-exact) with the lines after the first two as the classic news reader handed them over: leading
// blanks and empty lines skipped, text ended at a CR or NUL, lines cut every 511 bytes.
enum class WorkLines { AsWritten, AsReaderHanded };

class Decoders {
 public:
  Decoders(const StatusLog& log, Clock& clock);

  // The family in the order the article loop asks them: yEnc, uuencode, MIME base64.
  const std::vector<Decoder*>& family() const { return family_; }

  // Decoded files are written through this writer (tests make the disk fill up with it).
  void set_file_writer(FileWriter& writer) { writer_ = &writer; }

  // The first member of the family that claims the work file and can place parts; null when none.
  Decoder* part_decoder(const std::string& work_file);

  // A line of the work file starts with "=ybegin ".
  bool yenc_claims(const std::string& work_file);
  // A "begin " line among the lines as the classic reader hands them over.
  bool uu_claims(const std::string& work_file);
  // Reads the =ybegin and =ypart lines of the work file into y (nothing decoded); false without them.
  bool yenc_header(const std::string& work_file, YencInfo& y);
  // Decodes the first yEnc file of the work file. A single-part file whose size and CRC32 agree is
  // Decoded into group_directory(group); a broken one is Damaged and a part of a set PartOfSet, neither
  // leaving a file. Never replaces an existing file.
  DecodeResult yenc(const std::string& work_file, const std::string& group);
  // Decodes the first yEnc file of the work file, whole or one part, into dir + name (OutputFile's
  // rules: never replacing other bytes). Decoded only when it ended, its escapes are whole, a part's
  // size matches its =ypart range and its pcrc32 (a whole file's crc32) agrees; Damaged keeps nothing.
  DecodeResult yenc_into(const std::string& work_file, const std::string& dir, const std::string& name);
  // The uuencode and base64 decoders; the string forms below wrap them. As family members they read the
  // article loop's byte-exact temp.uue with the classic reader's habits.
  DecodeResult uudecode(const std::string& work_file, const std::string& group,
                        WorkLines lines = WorkLines::AsWritten);
  DecodeResult mime64(const std::string& work_file, const std::string& group,
                      WorkLines lines = WorkLines::AsWritten);

  // Decodes the first uuencoded file of the work file into group_directory(group). Returns "" on success,
  // one of the five 37-character "UUDECODE - ..." messages (also logged at level 0), or, for a file that
  // is no picture, the "UUDECODE -- ..." line saying where it went. Once the output
  // file exists, name_buffer holds its bare name (also after "Short file"); otherwise it is unchanged.
  // An existing file is never replaced: a taken name becomes "name-N.ext".
  std::string uudecode_file(const std::string& work_file, const std::string& group, std::string& name_buffer,
                            WorkLines lines = WorkLines::AsWritten);

  // Decodes every MIME base64 block of the work file into its own file in group_directory(group).
  // Returns "" on success, else a "MIME64 -- ..." message of at most 79 characters. name_buffer holds
  // the bare name of the last file created (unchanged when none was). An implausible amount of output
  // copies the work file to unknown/bad_decodeNN.txt without changing the result.
  std::string mime64_decode(const std::string& work_file, const std::string& group, std::string& name_buffer,
                            WorkLines lines = WorkLines::AsWritten);

  // Only pictures among the pictures (on unless turned off): a decoded file named as a picture whose
  // first bytes are no picture format, or any of fewer than kMinFiledBytes bytes, goes to unknown/ and
  // comes back NotPicture. Off, every decode is filed as it is (the codecs' own tests).
  void set_pictures_only(bool on) { pictures_only_ = on; }
  // Applies that rule to a file about to be written.
  void vet(OutputFile& out, bool keep = true) const;

  // Whether a generated base64 name waits 1.1 s (so the next one gets a new stamp). Without the wait a
  // name taken in the same second becomes "name-N.ext", as any taken name does.
  void set_name_waits(bool on) { name_waits_ = on; }

  // The writer decoded files go through, and the group's output directory (its last level created;
  // what had to change is logged).
  FileWriter& file_writer() { return *writer_; }
  std::string output_directory(const std::string& group) const { return prepare_directory(group); }

  // Implausible base64 decodes so far; the next copy is bad_decode<count % 100>.txt.
  unsigned bad_decode_count() const { return bad_decodes_.load(); }

 private:
  // Builds the group's output directory, creating its last level; logs what it had to change.
  std::string prepare_directory(const std::string& group) const;
  std::string fail(const char* message) const;
  bool not_a_picture(const OutputFile& out, const char* tag, const std::string& name, DecodeResult& result) const {
    return fk::not_a_picture(out, log_, tag, name, result);
  }

  const StatusLog& log_;
  Clock& clock_;
  FileWriter* writer_;
  std::atomic<unsigned> bad_decodes_{0};
  std::atomic<bool> name_waits_{true};
  std::atomic<bool> pictures_only_{true};
  std::vector<std::unique_ptr<Decoder>> members_;
  std::vector<Decoder*> family_;
};

// Removes the temporary pictures a crash left in pictures/ and its group folders; returns how many.
int remove_leftover_picture_temps(const std::string& pictures_dir = "pictures");

// Copies the source file into the destination (created or truncated); the source stays. Returns 0, or -1
// after logging "MOVEFILE -- can not open input file" / "... output file" (or "... write output file"
// when the copy could not be completed) at level 0.
int MOVEFILE(const std::string& source, const std::string& destination, const StatusLog& log);

}  // namespace fk
