// tarvo: creates pak archives, adds files to them, lists, tests and extracts them.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "commands.hpp"
#include "console.hpp"
#include "interrupt.hpp"

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
  RmOptions rm;
  RenameOptions rename;
  RepairOptions repair;
};

constexpr const char* kForceHelp = "Read a file whose first line is not the archive header";

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
  sub->add_flag("-L,--dereference", o.dereference, "With -r, follow symbolic links to files (skipped otherwise)");
  sub->add_option("-j,--jobs", o.jobs, "Files packed at once (default: one per core)")->check(CLI::Range(1, 256));
  auto* replace = sub->add_flag("--replace", o.replace, "Replace the entry of the same name where it stands");
  sub->add_flag("--duplicate", o.duplicate, "Add even when an entry of the same name exists")->excludes(replace);
}

void define_list(CLI::App& app, ListOptions& o) {
  auto* sub = app.add_subcommand("list", "List the entries of an archive");
  sub->add_option("ARCHIVE", o.archive, "The archive to list")->required();
  sub->add_option("NAME", o.names, "Entries to list: names or patterns with * ? [...] (default: all)");
  sub->add_flag("--json", o.json, "Write JSON (format_version 1) for scripts");
  sub->add_flag("-f,--force", o.force, kForceHelp);
}

void define_extract(CLI::App& app, ExtractOptions& o) {
  auto* sub = app.add_subcommand("extract", "Extract all entries, or the named ones");
  sub->add_option("ARCHIVE", o.archive, "The archive to extract from")->required();
  sub->add_option("NAME", o.names, "Entries to extract: names or patterns with * ? [...] (default: all)");
  sub->add_option("-C,--directory", o.directory, "Directory to extract into (made when missing)");
  sub->add_flag("-k,--keep", o.keep, "Leave files that already exist alone");
  sub->add_flag("-f,--force", o.force,
                "Read a file whose first line is not the archive header; replace read-only files (Windows)");
}

void define_test(CLI::App& app, TestOptions& o) {
  auto* sub = app.add_subcommand("test", "Check that every entry is intact");
  sub->add_option("ARCHIVE", o.archive, "The archive to test")->required();
  sub->add_flag("-f,--force", o.force, kForceHelp);
}

void define_cat(CLI::App& app, CatOptions& o) {
  auto* sub = app.add_subcommand("cat", "Write one entry to standard output");
  sub->add_option("ARCHIVE", o.archive, "The archive to read")->required();
  sub->add_option("NAME", o.name, "The entry (the first of that name), or a pattern with * ? [...]")->required();
  sub->add_flag("-f,--force", o.force, kForceHelp);
}

// The parser reads an argument written wholly in brackets as a list of values ("[a,b]"
// gives a and b). To tarvo it is one file name or pattern ("[ab]" matches a and b), so such
// an argument gets a mark in front before parsing, and every value loses the mark again.
constexpr char kBracketMark = '\x1f';

std::vector<std::string> marked_arguments(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  for (std::string& arg : args) {
    if (arg.size() >= 2 && arg.front() == '[' && arg.back() == ']') arg.insert(arg.begin(), kBracketMark);
  }
  return args;
}

std::string without_mark(std::string value) {
  value.erase(std::remove(value.begin(), value.end(), kBracketMark), value.end());
  return value;
}

void unmark_values(CLI::App& app) {
  for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    for (CLI::Option* opt : sub->get_options([](const CLI::Option* o) { return o->get_type_size() != 0; })) {
      opt->transform(without_mark);
    }
  }
}

// The first argument that is not an option: where the command has to be.
std::string command_word(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') return argv[i];
  }
  return {};
}

// What was wrong with the command line, naming the word at fault.
std::string usage_problem(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
  const std::string word = command_word(argc, argv);
  if (word.empty() && app.get_subcommands().empty()) return "no command given (create, add, list, extract, test, cat)";
  const auto& commands = app.get_subcommands([](const CLI::App*) { return true; });
  const bool known = std::any_of(commands.begin(), commands.end(), [&](const CLI::App* c) { return c->check_name(word); });
  if (!word.empty() && !known) return "unknown command '" + word + "'";
  const std::string what = e.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    const std::size_t colon = what.find(": ");
    std::string extra = colon == std::string::npos ? what : what.substr(colon + 2);
    extra = extra.substr(0, extra.find(' '));
    extra = without_mark(extra);
    return (extra.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '") + extra + "'";
  }
  return what;
}

void define_edits(CLI::App& app, Options& o) {
  auto* rm = app.add_subcommand("rm", "Remove every entry matching the names or patterns (*, ?, [...])");
  rm->add_option("ARCHIVE", o.rm.archive, "The archive to edit")->required();
  rm->add_option("NAME", o.rm.names, "Entry names or patterns; each must match an entry")->required();
  auto* rename = app.add_subcommand("rename", "Give every entry named OLD the name NEW");
  rename->add_option("ARCHIVE", o.rename.archive, "The archive to edit")->required();
  rename->add_option("OLD", o.rename.old_name, "The entries' name now")->required();
  rename->add_option("NEW", o.rename.new_name, "A plain name no entry has yet")->required();
  auto* repair = app.add_subcommand("repair", "Cut a torn archive back to its last whole entry");
  repair->add_option("ARCHIVE", o.repair.archive, "The archive to repair")->required();
}

int dispatch(const CLI::App& app, const Options& o) {
  Console console(o.quiet);
  if (app.got_subcommand("create")) return run_create(o.create, console);
  if (app.got_subcommand("add")) return run_add(o.add, console);
  if (app.got_subcommand("list")) return run_list(o.list, console);
  if (app.got_subcommand("extract")) return run_extract(o.extract, console);
  if (app.got_subcommand("test")) return run_test(o.test, console);
  if (app.got_subcommand("rm")) return run_rm(o.rm, console);
  if (app.got_subcommand("rename")) return run_rename(o.rename, console);
  if (app.got_subcommand("repair")) return run_repair(o.repair, console);
  return run_cat(o.cat, console);
}

}  // namespace
}  // namespace tarvo

int main(int argc, char** argv) {
  using namespace tarvo;
  install_interrupt_handlers();
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
  define_edits(app, options);
  unmark_values(app);
  std::vector<std::string> marked = marked_arguments(argc, argv);
  std::vector<char*> marked_argv;
  for (std::string& arg : marked) marked_argv.push_back(arg.data());
  try {
    app.parse(argc, marked_argv.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    Console console(true);
    console.error(usage_problem(app, e, argc, argv));
    console.error("run 'tarvo --help' for usage");
    return kExitUsage;
  }
  try {
    return dispatch(app, options);
  } catch (const std::exception& e) {
    Console(true).error(e.what());
    return kExitUsage;
  }
}
