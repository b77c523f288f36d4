// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts store: the pieces of pictures posted in several articles, kept decoded in
// parts/<group>/<set>/ across sessions until the set is whole, then assembled into the group's folder.

#include <cstdint>
#include <string>

#include "decode/decode_result.h"

namespace fk {

class Clock;
class Decoders;
class StatusLog;

// What makes two parts belong to one set.
struct SetIdentity {
  std::string group, author, name;
  std::uint32_t total = 0;
};

struct PartOutcome {
  enum class Kind {
    Kept,         // a new part; the set is still incomplete
    Duplicate,    // this part was already kept with the same bytes
    Completed,    // the last missing part: the picture is in the group's folder, the parts are gone
    Broken,       // the parts disagree: they went to unknown/ as one file; later parts are discarded
    Discarded,    // a part of a set given up earlier
    WriteFailed,  // nothing could be written (full disk, folder not writable); nothing was changed
  } kind = Kind::Kept;
  std::string name;  // Completed: the bare name written in the group's folder
  bool already_stored = false;  // Completed: that name already held the same bytes
  std::uint32_t have = 0, total = 0;
  std::string message;  // Broken: what disagreed, for the caller to log and show
  DecodeResult failure;  // WriteFailed: errno and path
};

// Stateless apart from its files: any number may be made over one root, one call at a time.
class PartsStore {
 public:
  PartsStore(const StatusLog& log, Clock& clock, Decoders& decoders, std::string root = "parts");

  // Keeps part `part` (1..set.total) from the work file: a yEnc part decoded and checked against its
  // =ypart range and pcrc32, anything else kept as uuencoded text. When it was the last missing part,
  // assembles the picture; a set whose parts disagree goes to unknown_path as one file.
  PartOutcome keep(const std::string& work_file, const SetIdentity& set, std::uint32_t part,
                   const std::string& unknown_path);

  // Removes the sets whose newest part is keep_days or more days old, one log line each; returns how many.
  int expire(std::int32_t keep_days);

  // "<root>/<group folder>/<16 hex digits of the identity>/".
  std::string set_directory(const SetIdentity& set) const;

 private:
  struct Index;
  PartOutcome assemble(const SetIdentity& set, const std::string& dir, Index& index, const std::string& unknown_path);
  PartOutcome give_up(const SetIdentity& set, const std::string& dir, Index& index, const std::string& extra,
                      const std::string& why, const std::string& unknown_path);

  const StatusLog& log_;
  Clock& clock_;
  Decoders& decoders_;
  std::string root_;
};

}  // namespace fk
