#pragma once
// The assignment of rows to columns with the least total cost (the Hungarian method, O(n^3)):
// a greedy match swaps two people who cross, the cheapest whole assignment does not.

#include <vector>

namespace calidra {

// cost[row][column], every row of the same length; rows and columns may differ in number. Returns
// for each row its column, or -1 when it got none (more rows than columns).
std::vector<int> optimalAssignment(const std::vector<std::vector<double>>& cost);

} // namespace calidra
