// tarvo add --replace: puts each file in place of the first entry of its name (removing
// later ones of that name) and appends files whose names are new, in one rewrite of the
// archive. Files are packed on worker threads in the order the rewrite asks for them.
#include <algorithm>
#include <map>
#include <thread>

#include "commands.hpp"
#include "mytarvo/files.hpp"
#include "prepare_pipeline.hpp"

namespace tarvo {

namespace {

// The order the rewrite will ask for the files: those whose names the archive holds, by
// the position of their first entry, then the others as given. Only a guess made before
// the archive is locked; the supplier below copes with any other order.
std::vector<std::size_t> expected_order(const std::string& archive, const std::vector<std::string>& names) {
  std::vector<std::size_t> order;
  std::vector<bool> placed(names.size(), false);
  try {
    const mytarvo::ArchiveReader reader(archive);
    for (const auto& entry : reader.entries()) {
      const auto found = std::find(names.begin(), names.end(), entry.name);
      const auto index = static_cast<std::size_t>(found - names.begin());
      if (found != names.end() && !placed[index]) {
        placed[index] = true;
        order.push_back(index);
      }
    }
  } catch (const mytarvo::ArchiveError&) {  // replace_entries reports it
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!placed[i]) order.push_back(i);
  }
  return order;
}

void report(const std::vector<mytarvo::ReplaceItem>& items, const std::vector<Source>& sources, Console& console) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto& item = items[i];
    const std::string& path = sources[i].path;
    if (item.outcome == mytarvo::ReplaceOutcome::Failed) {
      console.error(path, item.error + "; not added");
    } else if (item.outcome == mytarvo::ReplaceOutcome::Replaced) {
      std::string what = "replaced the entry \"" + item.name + "\"";
      if (item.dropped > 0) what += " and removed " + std::to_string(item.dropped) + " later entries of that name";
      console.notice(path, what);
    }
  }
}

}  // namespace

int run_add_replace(const AddOptions& options, const std::vector<Source>& sources, unsigned workers,
                    Console& console) {
  if (sources.empty()) return console.status();
  std::vector<std::string> names;
  std::uint64_t bytes = 0;
  for (const auto& source : sources) {
    names.push_back(mytarvo::files::file_part(source.path));
    bytes += source.expected_size;
  }
  const std::vector<std::size_t> order = expected_order(options.archive, names);
  std::vector<Source> ordered;
  for (const std::size_t index : order) ordered.push_back(sources[index]);

  console.start_progress("adding", bytes, static_cast<std::uint32_t>(sources.size()));
  const auto packing = options.store || options.best ? mytarvo::Packing::Store : mytarvo::Packing::Pack;
  PreparePipeline pipeline(ordered, packing, workers, console, options.best);
  std::map<std::size_t, mytarvo::PreparedEntry> early;  // prepared before the rewrite asked for them
  std::size_t taken = 0;
  const auto supply = [&](std::size_t index) {
    while (!early.contains(index) && taken < order.size()) early.emplace(order[taken++], pipeline.next());
    mytarvo::PreparedEntry entry = std::move(early.at(index));
    early.erase(index);
    console.item_done(entry.name);
    return entry;
  };
  std::vector<mytarvo::ReplaceItem> items;
  try {
    items = mytarvo::replace_entries(options.archive, names, supply);
  } catch (const mytarvo::ArchiveError& e) {
    console.finish_progress();
    console.error(e.what());
    return kExitUsage;
  }
  console.finish_progress();
  report(items, sources, console);
  return console.status();
}

}  // namespace tarvo
