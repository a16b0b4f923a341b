// The walk over the inputs. A folder's names are sorted, so that two runs over the same tree
// give their lines in the same order; symbolic links to folders are not followed (a link back
// up the tree would never end), links to files are.
#include "check/Inputs.h"

#include <algorithm>
#include <utility>

#include "check/Lines.h"

namespace sondrax {

namespace {

constexpr std::size_t kListBuffer = std::size_t{64} * 1024;
// The longest name taken from a list; no file system allows longer paths, and a list that is
// not a list (a sound file given by mistake) must not fill the memory with one "name".
constexpr std::size_t kNameMax = std::size_t{32} * 1024;

const char* KindText(PathKind kind) {
  switch (kind) {
  case PathKind::kFifo:
    return "a FIFO (named pipe), not a file";
  case PathKind::kDevice:
    return "a device, not a file";
  case PathKind::kSocket:
    return "a socket, not a file";
  case PathKind::kFolder:
  case PathKind::kFile:
  case PathKind::kOther:
    break;
  }
  return "not a regular file";
}

}  // namespace

bool WaveName(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) {
    return false;
  }
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return extension == "wav" || extension == "wave" || extension == "bwf" || extension == "rf64";
}

InputWalk::InputWalk(InputSources sources) : sources_(std::move(sources)) {}

InputWalk::~InputWalk() {
  if (list_open_) {
    Folders.CloseList(list_);
  }
}

bool InputWalk::Next(InputItem* item) {
  for (;;) {
    if (!levels_.empty()) {
      FolderLevel& level = levels_.back();
      if (level.Next == level.Entries.size()) {
        levels_.pop_back();
        continue;
      }
      // Moved out: entering a folder below may move this level in memory.
      const FolderEntry entry = std::move(level.Entries[level.Next++]);
      const std::string folder = level.Path;
      if (Entry(folder, entry, item)) {
        return true;
      }
      continue;
    }
    std::string name;
    if (!NextName(&name)) {
      return false;
    }
    if (!list_error_.empty()) {
      item->Path = name;
      item->Unreadable = std::move(list_error_);
      list_error_.clear();
      return true;
    }
    if (name.size() > kNameMax) {
      item->Path = name.substr(0, 64) + "...";
      item->Unreadable = "a name of more than " + std::to_string(kNameMax) +
                         " bytes in the list; it was passed over";
      return true;
    }
    if (Given(name, item)) {
      return true;
    }
  }
}

bool InputWalk::NextName(std::string* name) {
  if (next_path_ < sources_.Paths.size()) {
    *name = sources_.Paths[next_path_++];
    return true;
  }
  if (!sources_.FromList || list_done_) {
    return false;
  }
  if (!list_open_) {
    if (sources_.List == "-") {
      list_ = Folders.StdinHandle();
    } else {
      const FsError error = Folders.OpenList(sources_.List, &list_);
      if (error != FsError::kNone) {
        list_done_ = true;
        *name = sources_.List;
        list_error_ = "the list could not be opened: " + FsErrorText(error);
        return true;
      }
    }
    list_open_ = true;
    buffer_.reset(new char[kListBuffer]);
  }
  // A name is kept up to one byte past the longest allowed, then only its end is looked for.
  name->clear();
  for (;;) {
    if (buffer_start_ == buffer_end_) {
      std::size_t got = 0;
      const FsError error = Folders.ReadList(list_, buffer_.get(), kListBuffer, &got);
      if (error != FsError::kNone || got == 0) {
        list_done_ = true;
        Folders.CloseList(list_);
        list_open_ = false;
        if (error != FsError::kNone) {
          *name = sources_.List;
          list_error_ = "the list could not be read to its end: " + FsErrorText(error);
          return true;
        }
        break;
      }
      buffer_start_ = 0;
      buffer_end_ = got;
    }
    const char* start = buffer_.get() + buffer_start_;
    const char* end = buffer_.get() + buffer_end_;
    const char* found = std::find(start, end, sources_.Separator);
    const std::size_t room = kNameMax + 1 - std::min(name->size(), kNameMax + 1);
    name->append(start, std::min(static_cast<std::size_t>(found - start), room));
    buffer_start_ = static_cast<std::size_t>(found - buffer_.get());
    if (found != end) {
      ++buffer_start_;
      StripReturn(name);
      if (name->empty()) {
        continue;  // an empty line names nothing
      }
      return true;
    }
  }
  StripReturn(name);
  return !name->empty();
}

void InputWalk::StripReturn(std::string* name) const {
  // A list written on Windows ends its lines in CR LF.
  if (sources_.Separator == '\n' && !name->empty() && name->back() == '\r') {
    name->pop_back();
  }
}

bool InputWalk::Given(const std::string& name, InputItem* item) {
  item->Path = name;
  item->Unreadable.clear();
  PathKind kind = PathKind::kOther;
  const FsError error = Folders.KindOf(name, &kind);
  if (error != FsError::kNone) {
    item->Unreadable = "the file could not be opened: " + FsErrorText(error);
    return true;
  }
  if (kind == PathKind::kFolder) {
    return Enter(name, item);
  }
  if (kind != PathKind::kFile) {
    item->Unreadable = KindText(kind);
  }
  return true;
}

bool InputWalk::Entry(const std::string& folder, const FolderEntry& entry, InputItem* item) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != Folders.Separator)) {
    path.push_back(Folders.Separator);
  }
  path += entry.Name;
  if (entry.Kind == PathKind::kFolder && entry.Error == FsError::kNone) {
    return !entry.Link && Enter(path, item);
  }
  if (!sources_.All && !WaveName(entry.Name)) {
    return false;
  }
  item->Path = std::move(path);
  item->Unreadable.clear();
  if (entry.Error != FsError::kNone) {
    item->Unreadable = "the file could not be opened: " + FsErrorText(entry.Error);
  } else if (entry.Kind != PathKind::kFile) {
    item->Unreadable = KindText(entry.Kind);
  }
  return true;
}

bool InputWalk::Enter(const std::string& path, InputItem* item) {
  FolderLevel level;
  level.Path = path;
  const FsError error = Folders.ListFolder(path, &level.Entries);
  if (error != FsError::kNone) {
    item->Path = path;
    item->Unreadable = "the folder could not be read: " + FsErrorText(error);
    return true;
  }
  std::sort(level.Entries.begin(), level.Entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
  levels_.push_back(std::move(level));
  return false;
}

}  // namespace sondrax
