#include "Suggest.h"

#include <algorithm>

#include "support/Text.h"

namespace stubpack {

// Edits (insert, delete, replace one character) that turn a into b.
static size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string ClosestName(const std::string& wanted, const std::vector<std::string>& candidates) {
  const std::string key = stub::UpperCase(wanted);
  // One slip in a short name, up to three in a long one.
  const size_t allowed = std::max<size_t>(1, std::min<size_t>(3, key.size() / 4));
  std::string best;
  size_t bestDistance = allowed + 1;
  for (const std::string& c : candidates) {
    const size_t d = EditDistance(key, stub::UpperCase(c));
    if (d < bestDistance) {
      best = c;
      bestDistance = d;
    }
  }
  return best;
}

std::string DidYouMean(const std::string& wanted, const std::vector<std::string>& candidates) {
  const std::string name = ClosestName(wanted, candidates);
  return name.empty() ? std::string() : " (did you mean " + name + "?)";
}

}  // namespace stubpack
