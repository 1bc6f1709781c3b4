// The program's dialog templates: the layout window (601), a row of the object inspector
// (701), the status dialog of a generation run (801), the sample layout dialog (501) and
// the about box (22000). They are held as bytes in the dialog template layout that the
// sizer reads (base/sizer.h), so the windows built from them are laid out exactly as the
// templates say.
#pragma once

#include <cstdint>
#include <vector>

#include "base/sizer.h"

namespace pix {

// Template ids.
inline constexpr int kSamplesDialogId = 501;
inline constexpr int kConfigWindowId = 601;
inline constexpr int kVarFieldId = 701;
inline constexpr int kStatusDialogId = 801;
inline constexpr int kAboutDialogId = 22000;

// Control ids that the windows refer to.
inline constexpr int kOkButtonId = 1;      ///< "Ok", "OK" or "Close"
inline constexpr int kCancelButtonId = 2;  ///< "Cancel"
inline constexpr int kHelpButtonId = 998;  ///< "Help"
inline constexpr int kSampleListId = 502;
inline constexpr int kSampleDescriptionId = 503;
inline constexpr int kObjListBoxId = 602;
inline constexpr int kInspectorFrameId = 603;
inline constexpr int kPreviewFrameId = 604;
inline constexpr int kSelectDirButtonId = 206;
inline constexpr int kGenerateSiteButtonId = 211;
inline constexpr int kLabelEditBoxId = 702;
inline constexpr int kValueEditBoxId = 703;
inline constexpr int kProgressFrameId = 805;
inline constexpr int kMainTaskFieldId = 806;
inline constexpr int kCurrentStepFieldId = 807;
inline constexpr int kVersionLineId = 22001;
inline constexpr int kCopyrightLineId = 22002;
inline constexpr int kSpecialBuildLineId = 22003;

/// The ids of every template, in ascending order.
const std::vector<int>& DialogTemplateIds();

/// The bytes of the template with that id; empty when the program has none of that id.
const std::vector<std::uint8_t>& DialogTemplateBytes(int id);

/// The sizer of one of the program's own templates. The id must be one of them: the
/// program's templates always read, so a failure here is a fault of the program.
ControlSizer LoadDialogSizer(int id);

}  // namespace pix
