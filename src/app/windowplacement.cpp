#include "app/windowplacement.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "files/settings.h"

namespace pix {

namespace {

constexpr const char* kPlacementKey = "Placement";
constexpr const char* kMaximizedKey = "Maximized";
constexpr const char* kPanesKey = "Panes";

// The numbers of a space-separated list; nothing when any word is not a whole number.
std::optional<std::vector<int>> ParseNumbers(std::string_view text) {
  std::vector<int> numbers;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ' || text[at] == '\t') {
      ++at;
      continue;
    }
    std::size_t end = text.find_first_of(" \t", at);
    if (end == std::string_view::npos) end = text.size();
    int value = 0;
    const char* first = text.data() + at;
    const char* last = text.data() + end;
    const auto [stop, error] = std::from_chars(first, last, value);
    if (error != std::errc() || stop != last) return std::nullopt;
    numbers.push_back(value);
    at = end;
  }
  return numbers;
}

std::string JoinNumbers(const std::vector<int>& numbers) {
  std::ostringstream text;
  for (std::size_t i = 0; i < numbers.size(); ++i) text << (i == 0 ? "" : " ") << numbers[i];
  return text.str();
}

}  // namespace

std::optional<WindowPlacement> ReadWindowPlacement(const SettingsFile& settings) {
  const std::optional<std::vector<int>> frame =
      ParseNumbers(settings.GetString(kWindowSection, kPlacementKey));
  if (!frame || frame->size() != 4 || (*frame)[2] <= 0 || (*frame)[3] <= 0) return std::nullopt;
  WindowPlacement placement;
  placement.frame = PixelRect{(*frame)[0], (*frame)[1], (*frame)[2], (*frame)[3]};
  placement.maximized = settings.GetBool(kWindowSection, kMaximizedKey, false);
  const std::optional<std::vector<int>> panes =
      ParseNumbers(settings.GetString(kWindowSection, kPanesKey));
  if (panes && panes->size() == 3 &&
      std::all_of(panes->begin(), panes->end(), [](int width) { return width >= 0; })) {
    placement.pane_widths = *panes;
  }
  return placement;
}

Status WriteWindowPlacement(const SettingsFile& settings, const WindowPlacement& placement) {
  const PixelRect& r = placement.frame;
  Status status =
      settings.WriteString(kWindowSection, kPlacementKey, JoinNumbers({r.left, r.top, r.width, r.height}));
  if (!status.ok()) return status;
  status = settings.WriteBool(kWindowSection, kMaximizedKey, placement.maximized);
  if (!status.ok()) return status;
  return settings.WriteString(kWindowSection, kPanesKey, JoinNumbers(placement.pane_widths));
}

PixelRect FitWindowOnScreen(PixelRect wanted, PixelRect screen, int min_width, int min_height) {
  PixelRect r = wanted;
  r.width = std::max(std::min(r.width, screen.width), min_width);
  r.height = std::max(std::min(r.height, screen.height), min_height);
  // Right and bottom edges first, so that a window larger than the screen keeps its top
  // left corner (and its title bar) in view.
  r.left = std::min(r.left, screen.left + screen.width - r.width);
  r.top = std::min(r.top, screen.top + screen.height - r.height);
  r.left = std::max(r.left, screen.left);
  r.top = std::max(r.top, screen.top);
  return r;
}

}  // namespace pix
