// SPDX-License-Identifier: GPL-3.0-or-later
// A small file-system image mounted through FUSE on a folder, for tests that
// must see what removable and shared storage does: exFAT (exfat-fuse), FAT
// (fusefat) and NTFS (ntfs-3g). Mounting needs root and /dev/fuse; where it
// cannot be done, `skipReason()` says why and the test skips.
#pragma once

#ifdef __linux__
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace qorin::testing {

struct FuseKind {
  const char* name;
  const char* mkfs;   // made on the image
  const char* mount;  // mounts the image (or its loop device) on the folder
  bool loop;          // exfat-fuse run by root takes block devices only
};

inline constexpr FuseKind kExfat{"exfat", "mkfs.exfat", "mount.exfat-fuse", true};
inline constexpr FuseKind kFat{"fat", "mkfs.fat", "fusefat -o rw+", false};
inline constexpr FuseKind kNtfs{"ntfs", "mkntfs -F -f -q", "ntfs-3g", false};

class FuseImage {
 public:
  // Makes `image` (`mebibytes` MiB) and mounts it on `on`, an existing empty folder.
  FuseImage(const FuseKind& kind, const std::filesystem::path& image, const std::filesystem::path& on,
            int mebibytes = 16)
      : on_(on) {
    skip_ = mount(kind, image, mebibytes);
  }

  ~FuseImage() { unmount(); }
  FuseImage(const FuseImage&) = delete;
  FuseImage& operator=(const FuseImage&) = delete;

  bool unmount() {
    bool ok = true;
    if (mounted_) ok = run("fusermount -u " + quoted(on_));
    mounted_ = false;
    if (!loop_.empty()) run("losetup -d " + loop_);
    loop_.clear();
    return ok;
  }

  bool mounted() const { return mounted_ && skip_.empty(); }
  const std::string& skipReason() const { return skip_; }

  std::uint64_t device() const {
    struct stat st {};
    return ::stat(on_.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_dev) : 0;
  }

  static bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }

 private:
  // Empty, or why it could not be mounted.
  std::string mount(const FuseKind& kind, const std::filesystem::path& image, int mebibytes) {
    if (::geteuid() != 0) return "mounting needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no /dev/fuse";
    const std::string mkfs = tool(kind.mkfs), mount = tool(kind.mount);
    for (const std::string& t : {mkfs, mount, std::string("fusermount")})
      if (!run("command -v " + t)) return t + " is not installed";
    if (!run("truncate -s " + std::to_string(mebibytes) + "M " + quoted(image)) ||
        !run(std::string(kind.mkfs) + " " + quoted(image)))
      return std::string(kind.mkfs) + " failed";
    std::string source = quoted(image);
    if (kind.loop) {
      if (!run("command -v losetup")) return "losetup is not installed";
      FILE* p = ::popen(("losetup -f --show " + quoted(image) + " 2>/dev/null").c_str(), "r");
      char buf[64] = {};
      if (p && std::fgets(buf, sizeof buf, p)) loop_ = std::string(buf, std::strcspn(buf, "\n"));
      if (p) ::pclose(p);
      if (loop_.empty()) return "no loop device";
      source = loop_;
    }
    const std::uint64_t before = device();
    if (!run(std::string(kind.mount) + " " + source + " " + quoted(on_))) return mount + " failed";
    mounted_ = true;
    // The daemon is up when the command returns; allow it a few looks.
    for (int i = 0; i < 100 && device() == before; ++i) ::usleep(10000);
    return device() == before ? "the mount did not appear" : "";
  }

  static std::string tool(std::string_view command) {
    return std::string(command.substr(0, command.find(' ')));
  }
  static std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

  std::filesystem::path on_;
  std::string loop_;
  std::string skip_;
  bool mounted_ = false;
};

}  // namespace qorin::testing
#endif
