#pragma once
// The key matrix layout of the keyboards' per-key lighting: 6 rows of 21 positions, index =
// row * 21 + column, each holding the Define `value` name of the key there ("ESC", "NUMPERIOD")
// or "FN", and the empty string where the matrix has no key.
#include <QString>

namespace kf::encoding {

constexpr int kKeyMatrixRows = 6;
constexpr int kKeyMatrixColumns = 21;
constexpr int kKeyMatrixSize = kKeyMatrixRows * kKeyMatrixColumns;  // 126

// The key name at matrix position `index`; an empty string outside 0..125.
QString keyMatrixName(int index);

// The matrix position of `name`, or -1 when the layout has no such name. The blank slots are
// not named, so the empty name is -1 too.
int matrixIndex(const QString& name);

}  // namespace kf::encoding
