// The order of the pictures on a page (Pages/SortOrder): by name as the scan lists them,
// by name with numbers compared as numbers, or by the date taken.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "files/settings.h"

namespace pix {

/// Compares two names with every run of decimal digits taken as one number, so that
/// "img2" comes before "img10"; other bytes compare as bytes. Numbers of equal value
/// ("7" and "007") fall back to the bytes of the whole names, so that no two different
/// names compare equal. Returns <0, 0 or >0.
int CompareNatural(std::string_view a, std::string_view b);

/// The time a picture sorts by under SortKey::kDate: the date taken (an ISO 8601 date and
/// time as ExifInfo keeps it, read as UTC) when there is one, else the file's modification
/// time. In nanoseconds since 1970.
std::int64_t PictureSortTime(std::string_view iso_date_taken, std::int64_t file_time_ns);

/// One picture as the sort sees it.
struct SortablePicture {
  std::string_view name;  ///< The file name.
  std::int64_t time_ns = 0;  ///< PictureSortTime; used only by SortKey::kDate.
};

/// The positions of `pictures` in `order`: names by bytes, names naturally, or times with
/// ties kept in name order; then reversed when the order says so. `pictures` come in name
/// order, as the scan lists them.
std::vector<std::size_t> SortedPositions(const std::vector<SortablePicture>& pictures,
                                         const SortOrder& order);

}  // namespace pix
