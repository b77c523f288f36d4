#pragma once
// The two attachment decoders of the article loop (uuencode, then MIME base64) and MOVEFILE.

#include <atomic>
#include <string>

namespace fk {

class Clock;
class StatusLog;

// Created once per program: the bad-decode counter runs for the life of the process. One decode at a
// time; each call opens and closes its own files, reads the work file in bounded memory and writes only
// into group_directory(group) and, for inspection copies, unknown/.
// How the decoders read the work file: as written, or (the article loop's temp.uue, which holds the body
// byte-exact) with the lines after the first two as the classic news reader handed them over: leading
// blanks and empty lines skipped, text ended at a CR or NUL, lines cut every 511 bytes.
enum class WorkLines { AsWritten, AsReaderHanded };

class Decoders {
 public:
  Decoders(const StatusLog& log, Clock& clock) : log_(log), clock_(clock) {}

  // Decodes the first uuencoded file of the work file into group_directory(group). Returns "" on success
  // or one of the five 37-character "UUDECODE - ..." messages (also logged at level 0). Once the output
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

  // Whether a generated base64 name waits 1.1 s (so the next one gets a new stamp). Without the wait a
  // name taken in the same second becomes "name-N.ext", as any taken name does.
  void set_name_waits(bool on) { name_waits_ = on; }

  // Implausible base64 decodes so far; the next copy is bad_decode<count % 100>.txt.
  unsigned bad_decode_count() const { return bad_decodes_.load(); }

 private:
  // Builds the group's output directory, creating its last level; logs what it had to change.
  std::string prepare_directory(const std::string& group) const;
  std::string fail(const char* message) const;

  const StatusLog& log_;
  Clock& clock_;
  std::atomic<unsigned> bad_decodes_{0};
  std::atomic<bool> name_waits_{true};
};

// Copies the source file into the destination (created or truncated); the source stays. Returns 0, or -1
// after logging "MOVEFILE -- can not open input file" / "... output file" (or "... write output file"
// when the copy could not be completed) at level 0.
int MOVEFILE(const std::string& source, const std::string& destination, const StatusLog& log);

}  // namespace fk
