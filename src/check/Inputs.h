// The files sondrax-check judges, one after another, from its arguments and from a list of
// names: folders are walked as they come, so a list of ten million names or a tree of a
// million files costs the memory of one name at a time (and of the names of the folders the
// walk stands in).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Folders.h"

namespace sondrax {

/// One file to judge: its path, and when it cannot be a file to read, why ("a FIFO, not a
/// file"); the line for it is then `unreadable` with that reason.
struct InputItem {
  std::string Path;
  std::string Unreadable;
};

/// Whether a file's name ends in .wav, .wave, .bwf or .rf64, in any case.
bool WaveName(const std::string& name);

/// Where the names come from and which files of a folder are taken.
struct InputSources {
  std::vector<std::string> Paths;  // the arguments, first
  bool FromList = false;           // then the list
  std::string List;                // its name; "-" for standard input
  char Separator = '\n';           // '\0' for -0
  bool All = false;                // every file of a folder, not only WAVE names
};

class InputWalk {
 public:
  explicit InputWalk(InputSources sources);
  ~InputWalk();
  InputWalk(const InputWalk&) = delete;
  InputWalk& operator=(const InputWalk&) = delete;

  /// The next file, or false when there are no more.
  bool Next(InputItem* item);

 private:
  struct FolderLevel {
    std::string Path;
    std::vector<FolderEntry> Entries;
    std::size_t Next = 0;
  };

  /// The next name from the arguments, then the list; false at the end of both.
  bool NextName(std::string* name);
  /// A name given by the user: a file, a folder to walk, or something to say why not.
  bool Given(const std::string& name, InputItem* item);
  /// One entry of the folder the walk stands in; true when it is a file to judge.
  bool Entry(const std::string& folder, const FolderEntry& entry, InputItem* item);
  /// Drops the CR of a CR LF line end.
  void StripReturn(std::string* name) const;
  /// Starts the walk of a folder; false (and `item` says why) when it cannot be listed.
  bool Enter(const std::string& path, InputItem* item);

  InputSources sources_;
  std::size_t next_path_ = 0;
  std::vector<FolderLevel> levels_;
  bool list_open_ = false;
  bool list_done_ = false;
  std::string list_error_;  // why the list could not be opened or read to its end
  FileHandle list_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffer_start_ = 0;
  std::size_t buffer_end_ = 0;
};

}  // namespace sondrax
