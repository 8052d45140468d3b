// Replacing entries: each new entry takes the place of the first old entry of its name,
// later entries of the name are left out, and names the archive lacks are appended. The
// new entries are written with the same lines and bytes as AddToPak's entry writer.
#include <map>
#include <string>

#include <algorithm>
#include <vector>

#include "archive/archive_rewrite.hpp"
#include "archive/buffered_file.hpp"
#include "mytarvo/archive_edit.hpp"

namespace mytarvo {

namespace {

// The entry's bytes exactly as the entry writer lays them out: name line, flag byte, file
// size line, packed size line when packed, data. Empty when the entry cannot be written.
std::string entry_head(const PreparedEntry& entry) {
  std::string head = entry.name + "\r\n";
  head += static_cast<char>(entry.flag);
  head += std::to_string(entry.file_size) + "\r\n";
  if (entry.flag == 1) head += std::to_string(entry.data.size()) + "\r\n";
  return head;
}

std::string entry_problem(const PreparedEntry& entry, const std::string& name) {
  if (!entry.ok()) return entry.error;
  if (entry.name != name) return "prepared under another name (\"" + entry.name + "\")";
  if (!is_plain_entry_name(entry.name)) return "its name cannot be an entry name";
  if (entry.streamed) return entry.flag == 1 || !entry.data.empty() ? "its sizes do not describe its data" : "";
  if (entry.flag != 1 && entry.data.size() != entry.file_size) return "its sizes do not describe its data";
  return {};
}

// Copies a streamed entry's content, the first file_size bytes of its source, into the
// new archive a chunk at a time. A source that can no longer give them fails the rewrite
// (the archive stays as it was).
void write_streamed(ArchiveRewrite& rewrite, const PreparedEntry& entry) {
  constexpr std::uint32_t kChunk = std::uint32_t{1} << 20;
  BufferedFile source;
  if (!source.open(entry.source.c_str(), platform::OpenMode::ReadExisting)) {
    rewrite.fail(entry.source + ": cannot be opened");
  }
  std::vector<std::uint8_t> chunk(std::min(entry.file_size, kChunk));
  for (std::uint32_t remaining = entry.file_size; remaining > 0;) {
    const std::uint32_t count = std::min(remaining, kChunk);
    if (source.read(chunk.data(), count) != count) rewrite.fail(entry.source + ": changed while it was read");
    rewrite.write(chunk.data(), count);
    remaining -= count;
  }
}

class Replacer {
 public:
  Replacer(ArchiveRewrite& rewrite, const std::vector<std::string>& names, const EntrySupplier& supply)
      : rewrite_(rewrite), old_(rewrite.archive()), names_(names), supply_(supply), items_(names.size()) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      items_[i].name = names[i];
      if (!index_.emplace(names[i], i).second) items_[i].error = "given more than once";
    }
  }

  void run() {
    rewrite_.begin();
    std::uint64_t kept_from = 0;
    std::map<std::size_t, bool> written;  // by name index: whether the new entry went in
    for (const auto& entry : old_.entries) {
      const auto found = index_.find(entry.name);
      if (found == index_.end()) continue;
      const std::size_t index = found->second;
      rewrite_.copy(kept_from, entry.header_offset);
      kept_from = entry.header_offset;  // keeps the old entry unless it is left out below
      const auto seen = written.find(index);
      if (seen == written.end()) {
        const bool put = put_entry(index, ReplaceOutcome::Replaced);
        written.emplace(index, put);
        if (put) kept_from = entry_end(entry, old_.size);
      } else if (seen->second) {
        ++items_[index].dropped;
        kept_from = entry_end(entry, old_.size);
      }
    }
    rewrite_.copy(kept_from, old_.size);
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (items_[i].error.empty() && !written.contains(i)) put_entry(i, ReplaceOutcome::Appended);
    }
  }

  [[nodiscard]] bool changed() const {
    for (const auto& item : items_) {
      if (item.outcome != ReplaceOutcome::Failed) return true;
    }
    return false;
  }
  std::vector<ReplaceItem> take_items() { return std::move(items_); }

 private:
  bool put_entry(std::size_t index, ReplaceOutcome outcome) {
    const PreparedEntry entry = supply_(index);
    items_[index].error = entry_problem(entry, names_[index]);
    if (!items_[index].error.empty()) return false;
    rewrite_.write(entry_head(entry));
    if (entry.streamed) {
      write_streamed(rewrite_, entry);
    } else {
      rewrite_.write(entry.data.data(), entry.data.size());
    }
    items_[index].outcome = outcome;
    return true;
  }

  ArchiveRewrite& rewrite_;
  const LockedArchive& old_;
  const std::vector<std::string>& names_;
  const EntrySupplier& supply_;
  std::vector<ReplaceItem> items_;
  std::map<std::string, std::size_t, std::less<>> index_;  // each name's first index
};

}  // namespace

std::vector<ReplaceItem> replace_entries(const std::string& archive, const std::vector<std::string>& names,
                                         const EntrySupplier& supply) {
  ArchiveRewrite rewrite(archive, true);
  Replacer replacer(rewrite, names, supply);
  replacer.run();
  if (replacer.changed()) rewrite.commit();  // otherwise the destructor drops the new file
  return replacer.take_items();
}

std::vector<ReplaceItem> replace_entries(const std::string& archive, std::vector<PreparedEntry> entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const auto& entry : entries) names.push_back(entry.name);
  return replace_entries(archive, names, [&](std::size_t index) { return std::move(entries[index]); });
}

}  // namespace mytarvo
