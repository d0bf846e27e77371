#include "archive/Recordset.h"

#include <algorithm>
#include <cctype>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::archive {
namespace {
constexpr const char* kSource = "Recordset";
}

Recordset::Recordset(std::vector<std::string> columns, std::vector<std::vector<Value>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)), open_(true) {}

void Recordset::RequireOpen() const {
  if (!open_) throw ComError(err::kRecordsetClosed, kSource, "Operation is not allowed when the object is closed.");
}

bool Recordset::IsEOF() const {
  RequireOpen();
  return position_ >= rows_.size();
}

int32_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(rows_.size());
}

void Recordset::MoveNext() {
  RequireOpen();
  if (position_ >= rows_.size())
    throw ComError(err::kRecordsetEof, kSource,
                   "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                   "requires a current record.");
  // Forward only: the row left behind is never read again, so its values go
  // now. A long list (the log's) is then held once, by whoever fills from it.
  std::vector<Value>().swap(rows_[position_]);
  ++position_;
}

const Value& Recordset::Field(std::string_view name) const {
  RequireOpen();
  size_t col = columns_.size();
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (std::equal(columns_[i].begin(), columns_[i].end(), name.begin(), name.end(), [](char x, char y) {
          return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
        })) {
      col = i;
      break;
    }
  }
  if (col == columns_.size())
    throw ComError(err::kRecordsetNoField, kSource,
                   "Item cannot be found in the collection corresponding to the requested name or ordinal ('" +
                       std::string(name) + "').");
  if (position_ >= rows_.size())
    throw ComError(err::kRecordsetEof, kSource,
                   "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                   "requires a current record.");
  return rows_[position_][col];
}

void Recordset::Close() {
  RequireOpen();
  open_ = false;
  rows_.clear();
  position_ = 0;
}

}  // namespace vx::archive
