#include "filelist/add_files.h"

#include "platform/fs.h"

namespace qorin::filelist {

ScanResult scanDirectory(FileList& list, std::string& dir) {
  dir = platform::withSeparator(dir);
  ScanResult r;
  platform::DirectoryListing listing = platform::listFiles(dir);
  r.unconvertible = listing.unconvertible;
  list.reserve(list.entries().size() + listing.names.size());
  for (std::string& name : listing.names) list.addName(std::move(name));
  r.added = static_cast<int>(listing.names.size());
  return r;
}

std::string readRememberedDirectory(const std::string& path) {
  if (!platform::touchFile(path)) return {};
  const auto content = platform::readFile(path, 64 * 1024);
  if (!content) return {};
  const auto end = content->find_first_of("\r\n");
  return content->substr(0, end);
}

void rememberDirectory(const std::string& path, std::string_view dir) {
  platform::writeFileAtomic(path, std::string(dir) + "\r\n");
}

}  // namespace qorin::filelist
