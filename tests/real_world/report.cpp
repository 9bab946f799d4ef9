// Printing the checker's tables and lists.
#include "tests/real_world/report.h"

namespace realworld {

namespace {

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::equal: return "equal";
    case Outcome::refused_by_both: return "refused by both";
    case Outcome::refused_by_us_only: return "refused by us only";
    case Outcome::decoded_by_us_only: return "decoded by us only";
    case Outcome::pixels_differ: return "pixels differ";
    case Outcome::too_large: return "too large for the host";
    default: return "skipped (too many pixels)";
  }
}

void print_row(std::FILE* out, const std::string& name, const std::array<int, kOutcomes>& counts) {
  int files = 0;
  for (const int count : counts) files += count;
  std::fprintf(out, "| %s | %d |", name.c_str(), files);
  for (const int count : counts) std::fprintf(out, " %d |", count);
  std::fprintf(out, "\n");
}

}  // namespace

void Report::add(const CorpusFile& file, Outcome outcome, const std::string& reason, const char* choice,
                 const std::vector<std::string>& faults) {
  if (counts_.find(file.category) == counts_.end()) categories_.push_back(file.category);
  ++counts_[file.category][static_cast<size_t>(outcome)];
  const std::string name = file.category + " " + file.package + " " + file.origin + " (" + file.hash + ")";
  if (!reason.empty()) {
    disagreements_.push_back({name, outcome, reason, choice});
    if (choice == nullptr) ++failures_;
  }
  for (const std::string& fault : faults) faults_.push_back(name + ": " + fault);
  if (!faults.empty()) ++failures_;
}

void Report::print(std::FILE* out) const {
  std::fprintf(out, "| category | files |");
  for (int i = 0; i < kOutcomes; ++i) std::fprintf(out, " %s |", outcome_name(static_cast<Outcome>(i)));
  std::fprintf(out, "\n|---|---|");
  for (int i = 0; i < kOutcomes; ++i) std::fprintf(out, "---|");
  std::fprintf(out, "\n");
  std::array<int, kOutcomes> all{};
  for (const std::string& category : categories_) {
    const std::array<int, kOutcomes>& counts = counts_.at(category);
    print_row(out, category, counts);
    for (size_t i = 0; i < all.size(); ++i) all[i] += counts[i];
  }
  print_row(out, "all", all);

  std::fprintf(out, "\n%zu disagreements with libpng\n", disagreements_.size());
  for (const Entry& entry : disagreements_) {
    std::fprintf(out, "- %s: %s\n    %s\n    %s%s\n", outcome_name(entry.outcome), entry.file.c_str(),
                 entry.reason.c_str(), entry.choice != nullptr ? "documented: " : "FAILURE: no documented choice",
                 entry.choice != nullptr ? entry.choice : " explains it");
  }
  std::fprintf(out, "\n%zu faults of the plug-in\n", faults_.size());
  for (const std::string& fault : faults_) std::fprintf(out, "- FAILURE: %s\n", fault.c_str());
}

}  // namespace realworld
