// "Did you mean": the name among the known ones that a mistyped name most likely meant.
#pragma once

#include <string>
#include <vector>

namespace stubpack {

// The candidate closest to wanted (letter case ignored) when it is near enough to be a slip
// of the keyboard; empty otherwise.
std::string ClosestName(const std::string& wanted, const std::vector<std::string>& candidates);

// " (did you mean X?)", or empty when no candidate is close.
std::string DidYouMean(const std::string& wanted, const std::vector<std::string>& candidates);

}  // namespace stubpack
