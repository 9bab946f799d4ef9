// The checker's report: counts per category and outcome, every disagreement with its reason
// and verdict, and the plug-in's faults.
#pragma once

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/real_world/corpus_index.h"
#include "tests/real_world/verdict.h"

namespace realworld {

class Report {
 public:
  // `choice`: the documented choice behind a disagreement, null when none explains it.
  void add(const CorpusFile& file, Outcome outcome, const std::string& reason, const char* choice,
           const std::vector<std::string>& faults);
  // A Markdown table per category and in all, then the disagreements and the faults.
  void print(std::FILE* out) const;
  // Disagreements without a documented choice, plus files the plug-in failed a check on.
  int failures() const { return failures_; }

 private:
  struct Entry {
    std::string file;
    Outcome outcome;
    std::string reason;
    const char* choice;
  };
  std::vector<std::string> categories_;  // in the corpus's order
  std::map<std::string, std::array<int, kOutcomes>> counts_;
  std::vector<Entry> disagreements_;
  std::vector<std::string> faults_;
  int failures_ = 0;
};

}  // namespace realworld
