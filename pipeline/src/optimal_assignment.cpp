#include "pipeline/optimal_assignment.h"

#include <algorithm>
#include <limits>

namespace calidra {

std::vector<int> optimalAssignment(const std::vector<std::vector<double>>& cost) {
    const int rows = int(cost.size());
    const int columns = rows == 0 ? 0 : int(cost[0].size());
    if (rows == 0 || columns == 0)
        return std::vector<int>(std::size_t(rows), -1);
    // The method wants at least as many columns as rows: the square of the larger side, padded
    // with zero cost, and the padding's matches dropped at the end.
    const int n = std::max(rows, columns);
    auto at = [&](int row, int column) {
        return row < rows && column < columns ? cost[std::size_t(row)][std::size_t(column)] : 0.0;
    };
    const double infinity = std::numeric_limits<double>::infinity();
    // Potentials u (rows) and v (columns), 1-based with 0 as the free slot.
    std::vector<double> u(std::size_t(n + 1), 0.0), v(std::size_t(n + 1), 0.0);
    std::vector<int> rowOfColumn(std::size_t(n + 1), 0), way(std::size_t(n + 1), 0);
    for (int row = 1; row <= n; ++row) {
        rowOfColumn[0] = row;
        int column0 = 0;
        std::vector<double> least(std::size_t(n + 1), infinity);
        std::vector<bool> used(std::size_t(n + 1), false);
        do {
            used[std::size_t(column0)] = true;
            const int row0 = rowOfColumn[std::size_t(column0)];
            double delta = infinity;
            int column1 = 0;
            for (int column = 1; column <= n; ++column) {
                if (used[std::size_t(column)])
                    continue;
                const double reduced =
                    at(row0 - 1, column - 1) - u[std::size_t(row0)] - v[std::size_t(column)];
                if (reduced < least[std::size_t(column)]) {
                    least[std::size_t(column)] = reduced;
                    way[std::size_t(column)] = column0;
                }
                if (least[std::size_t(column)] < delta) {
                    delta = least[std::size_t(column)];
                    column1 = column;
                }
            }
            for (int column = 0; column <= n; ++column) {
                if (used[std::size_t(column)]) {
                    u[std::size_t(rowOfColumn[std::size_t(column)])] += delta;
                    v[std::size_t(column)] -= delta;
                } else {
                    least[std::size_t(column)] -= delta;
                }
            }
            column0 = column1;
        } while (rowOfColumn[std::size_t(column0)] != 0);
        do {
            const int column1 = way[std::size_t(column0)];
            rowOfColumn[std::size_t(column0)] = rowOfColumn[std::size_t(column1)];
            column0 = column1;
        } while (column0 != 0);
    }
    std::vector<int> columnOfRow(std::size_t(rows), -1);
    for (int column = 1; column <= n; ++column) {
        const int row = rowOfColumn[std::size_t(column)] - 1;
        if (row >= 0 && row < rows && column - 1 < columns)
            columnOfRow[std::size_t(row)] = column - 1;
    }
    return columnOfRow;
}

} // namespace calidra
