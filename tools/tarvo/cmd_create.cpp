// tarvo create: a new, empty archive. An existing file is replaced only with --force.
#include "commands.hpp"
#include "mytarvo/files.hpp"

namespace tarvo {

int run_create(const CreateOptions& options, Console& console) {
  using mytarvo::files::PathKind;
  const PathKind kind = mytarvo::files::kind_of(options.archive);
  if (kind == PathKind::Directory) {
    console.error(options.archive, "is a directory");
    return kExitUsage;
  }
  if (kind == PathKind::File && !options.force) {
    console.error(options.archive, "already exists (use --force to replace it)");
    return kExitUsage;
  }
  try {
    mytarvo::create_archive(options.archive);
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
    return kExitUsage;
  }
  return kExitSuccess;
}

}  // namespace tarvo
