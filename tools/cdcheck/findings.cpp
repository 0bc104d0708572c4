#include "tools/cdcheck/findings.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace orvik::cdcheck {

void Diagnostics::Add(Rule rule, Location where, std::string message) {
  all_.push_back({std::move(where), rule, std::move(message), {}});
}

void Diagnostics::SortByPlace() {
  std::map<std::string, std::size_t> file_order;
  for (const auto& diagnostic : all_)
    file_order.emplace(diagnostic.where.file, file_order.size());
  std::stable_sort(all_.begin(), all_.end(), [&](const Diagnostic& a, const Diagnostic& b) {
    return std::make_tuple(file_order[a.where.file], a.where.line, a.where.column) <
           std::make_tuple(file_order[b.where.file], b.where.line, b.where.column);
  });
}

std::size_t Diagnostics::Count(Severity severity) const {
  return static_cast<std::size_t>(
      std::count_if(all_.begin(), all_.end(),
                    [&](const Diagnostic& d) { return d.severity() == severity; }));
}

std::uint64_t InstallPlan::TotalBytes() const {
  std::uint64_t total = 0;
  for (const auto& file : files)
    if (file.replaced_by_line == 0) total += file.bytes;
  return total;
}

std::size_t InstallPlan::FileCount() const {
  return static_cast<std::size_t>(
      std::count_if(files.begin(), files.end(),
                    [](const InstalledFile& f) { return f.replaced_by_line == 0; }));
}

std::string DisplayName(const std::string& name_on_cd) {
  std::string display = name_on_cd;
  const std::size_t start = display.find_first_not_of("\\/");
  display.erase(0, std::min(start, display.size()));
  std::replace(display.begin(), display.end(), '\\', '/');
  return display;
}

}  // namespace orvik::cdcheck
