// The download selection prompt's list, without its window: one checked row
// per entry showing the text before the entry's first comma (a YouTube entry
// shows its title, an ordinary link its whole address), and back to the
// entries whose rows stay checked, in their order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

// The text a row shows for an entry: up to its first comma, or all of it.
std::string PromptRowText(std::string_view entry);

class DownloadPromptList {
 public:
  // One row per entry, every row checked.
  explicit DownloadPromptList(const std::vector<std::string>& entries);

  const std::vector<std::string>& Rows() const { return rows_; }
  std::size_t Count() const { return rows_.size(); }
  bool Checked(std::size_t row) const { return checked_.at(row); }
  void SetChecked(std::size_t row, bool checked) { checked_.at(row) = checked; }

  // The context menu's "&Invert", "&Check All" and "&UnCheck All".
  void Invert();
  void CheckAll();
  void UnCheckAll();

  // The count label: the row count followed by " files available for download.".
  std::string CountText() const;

  // Deletes from `entries`, from the last row to the first, the entry at the
  // index of every unchecked row; the rest keep their order.
  void ApplyTo(std::vector<std::string>& entries) const;

 private:
  std::vector<std::string> rows_;
  std::vector<bool> checked_;
};

}  // namespace scan
