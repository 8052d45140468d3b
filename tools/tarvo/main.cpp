// tarvo: creates pak archives, adds files to them, lists, tests and extracts them.
#include <CLI/CLI.hpp>

#include <string>

#include "commands.hpp"
#include "console.hpp"

namespace tarvo {
namespace {

struct Options {
  bool quiet = false;
  CreateOptions create;
  AddOptions add;
  ListOptions list;
  ExtractOptions extract;
  TestOptions test;
  CatOptions cat;
};

void define_create(CLI::App& app, CreateOptions& o) {
  auto* sub = app.add_subcommand("create", "Make a new, empty archive");
  sub->add_option("ARCHIVE", o.archive, "The archive to make")->required();
  sub->add_flag("-f,--force", o.force, "Replace a file that is already there");
}

void define_add(CLI::App& app, AddOptions& o) {
  auto* sub = app.add_subcommand("add", "Append files to an archive, in the order given");
  sub->add_option("ARCHIVE", o.archive, "An existing archive")->required();
  sub->add_option("FILE", o.sources, "Files to add (each under its bare name)")->required();
  auto* store = sub->add_flag("--store", o.store, "Store the files unchanged instead of packing them");
  sub->add_flag("--best", o.best, "Pack as small as possible: about 15% smaller, ten times slower")
      ->excludes(store);
  sub->add_flag("-r,--recursive", o.recursive, "Add every file below directory arguments, in sorted order");
  sub->add_option("-j,--jobs", o.jobs, "Files packed at once (default: one per core)")->check(CLI::Range(1, 256));
}

void define_list(CLI::App& app, ListOptions& o) {
  auto* sub = app.add_subcommand("list", "List the entries of an archive");
  sub->add_option("ARCHIVE", o.archive, "The archive to list")->required();
  sub->add_flag("--json", o.json, "Write JSON (format_version 1) for scripts");
}

void define_extract(CLI::App& app, ExtractOptions& o) {
  auto* sub = app.add_subcommand("extract", "Extract all entries, or the named ones");
  sub->add_option("ARCHIVE", o.archive, "The archive to extract from")->required();
  sub->add_option("NAME", o.names, "Entries to extract (default: all)");
  sub->add_option("-C,--directory", o.directory, "Directory to extract into (made when missing)");
  sub->add_flag("-k,--keep", o.keep, "Leave files that already exist alone");
}

void define_test(CLI::App& app, TestOptions& o) {
  auto* sub = app.add_subcommand("test", "Check that every entry is intact");
  sub->add_option("ARCHIVE", o.archive, "The archive to test")->required();
}

void define_cat(CLI::App& app, CatOptions& o) {
  auto* sub = app.add_subcommand("cat", "Write one entry to standard output");
  sub->add_option("ARCHIVE", o.archive, "The archive to read")->required();
  sub->add_option("NAME", o.name, "The entry (the first of that name)")->required();
}

int dispatch(const CLI::App& app, const Options& o) {
  Console console(o.quiet);
  if (app.got_subcommand("create")) return run_create(o.create, console);
  if (app.got_subcommand("add")) return run_add(o.add, console);
  if (app.got_subcommand("list")) return run_list(o.list, console);
  if (app.got_subcommand("extract")) return run_extract(o.extract, console);
  if (app.got_subcommand("test")) return run_test(o.test, console);
  return run_cat(o.cat, console);
}

}  // namespace
}  // namespace tarvo

int main(int argc, char** argv) {
  using namespace tarvo;
  CLI::App app{"tarvo: pak archives of stored or packed files"};
  app.require_subcommand(1);
  app.fallthrough();  // --quiet may also follow the subcommand
  Options options;
  app.add_flag("-q,--quiet", options.quiet, "No progress bar and no notices");
  app.set_version_flag("--version", "tarvo " MYTARVO_VERSION);
  define_create(app, options.create);
  define_add(app, options.add);
  define_list(app, options.list);
  define_extract(app, options.extract);
  define_test(app, options.test);
  define_cat(app, options.cat);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitSuccess : kExitUsage;
  }
  try {
    return dispatch(app, options);
  } catch (const std::exception& e) {
    Console(true).error(e.what());
    return kExitUsage;
  }
}
