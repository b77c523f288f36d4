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

// What makes two parts belong to one set. When the data names the set (yEnc: name= and size= of
// =ybegin), `size` is set and only group, name and size count: parts join whoever posted them. Without
// it (uuencode, whose later parts carry no name) group, author, name and total do.
struct SetIdentity {
  std::string group, author, name;
  std::uint32_t total = 0;     // 0 when unknown (a data-named set completes by its byte ranges)
  std::uint64_t size = 0;      // the whole file's size from the data; 0 for a set keyed on its subject
  // A data-named set of `author` alone: split off when that poster's bytes for a part differed from
  // another poster's under the same name and size, so two different files stay two sets.
  bool by_poster = false;
};

struct PartOutcome {
  enum class Kind {
    Kept,         // a new part; the set is still incomplete
    Duplicate,    // this part was already kept with the same bytes
    Completed,    // the last missing part: the picture is in the group's folder, the parts are gone
    Broken,       // the parts disagree: they went to unknown/ as one file; later parts are discarded
    Discarded,    // a part of a set given up earlier
    WriteFailed,  // nothing could be written (full disk, folder not writable); nothing was changed
    Rejected,     // this copy of the part was damaged and not kept; a later copy may complete the set
  } kind = Kind::Kept;
  std::string name;  // Completed: the bare name written in the group's folder
  bool already_stored = false;  // Completed: that name already held the same bytes
  std::uint32_t have = 0, total = 0;
  bool not_picture = false;  // Completed: the assembled file was no picture and went to unknown/
  std::string message;  // Broken: what disagreed; Rejected: what was wrong with the copy
  DecodeResult failure;  // WriteFailed: errno and path
};

// Stateless apart from its files: any number may be made over one root, one call at a time.
class PartsStore {
 public:
  PartsStore(const StatusLog& log, Clock& clock, Decoders& decoders, std::string root = "parts");

  // Keeps part `part` from the work file: a part its decoder can place (yEnc) decoded and checked
  // against its range and pcrc32, anything else kept as uuencoded text. A damaged copy is Rejected and
  // the set waits for another. When it was the last missing part, assembles the picture; a set whose
  // parts disagree goes to unknown_path as one file. `earlier`, for a data-named set, is the key the
  // same set had before sets were named by their data: a set kept under it moves to the new key.
  PartOutcome keep(const std::string& work_file, const SetIdentity& set, std::uint32_t part,
                   const std::string& unknown_path, const SetIdentity* earlier = nullptr);

  // Removes the sets whose newest part is keep_days or more days old, one log line each; returns how many.
  int expire(std::int32_t keep_days);

  // "<root>/<group folder>/<16 hex digits of the identity>/".
  std::string set_directory(const SetIdentity& set) const;

 private:
  struct Index;
  static bool is_whole(const SetIdentity& set, const Index& index);
  // Moves the poster's parts out of the shared set into a set of their own and keeps this part there.
  PartOutcome split_off(const std::string& work_file, const SetIdentity& set, const std::string& dir, Index& index,
                        std::uint32_t part, const std::string& unknown_path);
  PartOutcome assemble(const SetIdentity& set, const std::string& dir, Index& index, const std::string& unknown_path);
  PartOutcome give_up(const SetIdentity& set, const std::string& dir, Index& index, const std::string& extra,
                      const std::string& why, const std::string& unknown_path);

  const StatusLog& log_;
  Clock& clock_;
  Decoders& decoders_;
  std::string root_;
};

}  // namespace fk
