// SPDX-License-Identifier: GPL-3.0-or-later
// Writes qorin-cli's manual pages and bash completion at build time, from the
// pages' templates and the rules' declarations:
//   qorin-cli-docs OUTDIR PAGE.1.in PAGE.zh_CN.1.in
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cli/cli_docs.h"

namespace {

bool read(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), {});
  return true;
}

bool write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: qorin-cli-docs OUTDIR PAGE.1.in PAGE.zh_CN.1.in\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  std::string en, zh;
  if (!read(argv[2], en) || !read(argv[3], zh)) {
    std::fputs("qorin-cli-docs: cannot read a template\n", stderr);
    return 1;
  }
  using namespace qorin::cli;
  const bool ok = write(dir + "/qorin-cli.1", withRules(en, false)) &&
                  write(dir + "/qorin-cli.zh_CN.1", withRules(zh, true)) &&
                  write(dir + "/qorin-cli.bash", bashCompletion());
  if (!ok) std::fputs("qorin-cli-docs: cannot write the pages\n", stderr);
  return ok ? 0 : 1;
}
